// A text label that behaves like a link: underlined caption, pointing-hand
// pointer, blue while the pointer is over it, and a click that opens the
// caption as a web, file-transfer or mail address through the shell.
#pragma once

#include <QCursor>
#include <QLabel>
#include <QString>

namespace corvane::ui {

enum TURLType { utHTTP = 0, utFTP = 1, utMailTo = 2 };

// "http://", "ftp://" or "mailto:".
QString URLPrefix(TURLType type);

// The address a click on a label of the given kind and caption opens: the
// caption itself when its ASCII-lower-cased form holds the kind's prefix
// anywhere, else the prefix followed by the caption.
QString URLTarget(TURLType type, const QString& caption);

// The pointing-hand pointer of every link label, built once from the
// resource image "URLCURSOR_1" (32 x 32, hot spot 5,0) and shared.
const QCursor& URLCursor();

class TURLLabel : public QLabel {
    Q_OBJECT
  public:
    static inline const QString kDefaultCaption = QStringLiteral("http://www.example.com/");

    explicit TURLLabel(QWidget* parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);
    TURLType URLType() const { return urlType_; }
    void SetURLType(TURLType type) { urlType_ = type; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    bool Transparent() const { return !autoFillBackground(); }
    void SetTransparent(bool on) { setAutoFillBackground(!on); }

    // The address a click opens now.
    QString Target() const { return URLTarget(urlType_, text()); }

  signals:
    // The label's ordinary click notification; runs before the address is
    // opened.
    void OnClick();

  protected:
    // A left-button click on the enabled label: OnClick, then the shell
    // opens Target() (shown normally; the result is ignored).
    virtual void Click();

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void SetTextColor(const QColor& color);

    TURLType urlType_ = utHTTP;
    bool autoSize_ = true;
    bool pressed_ = false;
};

}  // namespace corvane::ui

// A push button with a picture to the left of its caption and a fixed
// number of pixels between the two, the pair centred on the button.
#pragma once

#include <QIcon>
#include <QPushButton>

namespace corvane::ui {

class TPictureButton : public QPushButton {
    Q_OBJECT
  public:
    explicit TPictureButton(QWidget* parent = nullptr);

    // The picture; drawn at its own size (PictureSize), greyed while the
    // button is disabled.
    const QIcon& Picture() const { return picture_; }
    void SetPicture(const QIcon& picture, QSize size);
    QSize PictureSize() const { return pictureSize_; }

    // Pixels between the picture and the caption.
    int Spacing() const { return spacing_; }
    void SetSpacing(int spacing);

    // Where the picture and the caption are drawn, in widget coordinates
    // (before the one-pixel shift of the pressed look).
    QRect PictureRect() const;
    QRect CaptionRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int CaptionWidth() const;

    QIcon picture_;
    QSize pictureSize_;
    int spacing_ = 4;
};

}  // namespace corvane::ui

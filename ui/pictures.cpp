#include "ui/pictures.h"

#include <QFile>

#include "platform/jpeg_decoder.h"

// The resources live in this static library; referencing their initialiser
// keeps the linker from dropping them.
static void InitCorvaneResources() {
    Q_INIT_RESOURCE(corvane);
}

namespace corvane::ui {

QImage DecodeJpegImage(const QByteArray& bytes) {
    try {
        const platform::RgbImage rgb =
            platform::DecodeJpeg({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                  static_cast<std::size_t>(bytes.size())});
        const int w = static_cast<int>(rgb.width);
        const int h = static_cast<int>(rgb.height);
        QImage wrapped(rgb.pixels.data(), w, h, w * 3, QImage::Format_RGB888);
        return wrapped.convertToFormat(QImage::Format_RGB32);  // a deep copy
    } catch (const platform::JpegError&) {
        return QImage();
    }
}

void EnsureUiResources() {
    static const bool ready = (InitCorvaneResources(), true);
    (void)ready;
}

QImage LoadJpegPicture(const QString& path) {
    EnsureUiResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QImage();
    }
    return DecodeJpegImage(file.readAll());
}

QPixmap BannerPicture() {
    return QPixmap::fromImage(LoadJpegPicture(kBannerPicture));
}

QPixmap ProductPicture() {
    return QPixmap::fromImage(LoadJpegPicture(kProductPicture));
}

}  // namespace corvane::ui

// The program's pictures: JPEG files compiled into its resources, decoded
// with the platform's JPEG decoder.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace corvane::ui {

// Resource paths of the pictures.
inline const QString kBannerPicture = QStringLiteral(":/corvane/banner.jpg");    // 490 x 55
inline const QString kProductPicture = QStringLiteral(":/corvane/product.jpg");  // 121 x 146

// Registers the program's compiled-in resources (pictures, the link
// cursor). Called by everything here that reads them; cheap after the first
// call.
void EnsureUiResources();

// Decodes JPEG bytes; a null image when they do not decode.
QImage DecodeJpegImage(const QByteArray& bytes);

// Reads and decodes a JPEG resource (or file); a null image when it is
// missing or does not decode. The program shows an empty box then.
QImage LoadJpegPicture(const QString& path);

// The main window's banner and the About box's product picture.
QPixmap BannerPicture();
QPixmap ProductPicture();

}  // namespace corvane::ui

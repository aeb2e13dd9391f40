// The product's name and the maker's addresses, as the windows show and open
// them.
#pragma once

#include <QString>

#include "corvane_version.h"

namespace corvane::ui {

inline const QString kProductName = QStringLiteral("Corvane");
inline const QString kMakerNotice = QStringLiteral(
    "Version " CORVANE_VERSION_SHORT ". Copyright \u00a9 Vestrel Software. All rights reserved.");
// Shown by the About box's mail link, opened as "mailto:" plus the address.
inline const QString kSupportMail = QStringLiteral("support@example.com");
// Opened by the About box's Support button.
inline const QString kCustomerCareUrl = QStringLiteral("https://www.example.com/corvane/care/");
// The product's homepage, for the main window's Help menu.
inline const QString kHomepageUrl = QStringLiteral("https://www.example.com/corvane/");

}  // namespace corvane::ui

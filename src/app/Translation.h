//===- app/Translation.h - The window texts in the chosen language -*- C++ -*-===//
///
/// The client's own texts and those of Qt's standard dialogs (OK, Cancel,
/// Yes, No) in Simplified Chinese, compiled into the program from
/// translations/korvexdata_zh_CN.ts. English is the texts' own language.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Language.h"

namespace korvex::app {

/// Installs the translations of `language` into the application, replacing
/// earlier ones; English removes them. False when the client's own Chinese
/// texts could not be loaded (the window then stays English).
bool InstallTranslations(LanguageId language);

}  // namespace korvex::app

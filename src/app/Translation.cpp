//===- app/Translation.cpp - The window texts in the chosen language ------===//

#include "app/Translation.h"

#include "foundation/LogMgr.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

// A resource compiled into a static library is registered only when asked.
static void RegisterTranslationResource() {
#ifdef KORVEX_HAVE_TRANSLATIONS
  Q_INIT_RESOURCE(korvex_translations);
#endif
}

namespace korvex::app {
namespace {

constexpr char kNamespacePrefix[] = "korvex::app::";

/// lupdate does not follow `namespace korvex::app {` and records most
/// classes by their plain name, while tr() asks with the qualified one: a
/// qualified context that finds nothing is tried again without the prefix.
class ClientTranslator : public QTranslator {
 public:
  QString translate(const char* context, const char* source, const char* disambiguation, int n) const override {
    QString text = QTranslator::translate(context, source, disambiguation, n);
    const std::size_t prefix = sizeof kNamespacePrefix - 1;
    if (text.isNull() && context && qstrncmp(context, kNamespacePrefix, prefix) == 0) {
      text = QTranslator::translate(context + prefix, source, disambiguation, n);
    }
    return text;
  }
};

std::unique_ptr<ClientTranslator> g_client;
std::unique_ptr<QTranslator> g_qt;

}  // namespace

bool InstallTranslations(LanguageId language) {
  if (g_client) QCoreApplication::removeTranslator(g_client.get());
  if (g_qt) QCoreApplication::removeTranslator(g_qt.get());
  g_client.reset();
  g_qt.reset();
  // Sizes and dates follow the language of the texts, not the machine's.
  QLocale::setDefault(language == kLanguageChinese ? QLocale(QLocale::Chinese, QLocale::China)
                                                   : QLocale(QLocale::English, QLocale::UnitedStates));
  if (language != kLanguageChinese) return true;
  RegisterTranslationResource();

  auto qt = std::make_unique<QTranslator>();
  // Optional: without Qt's own files only the standard buttons stay English.
  if (qt->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qt.get());
    g_qt = std::move(qt);
  }
  auto client = std::make_unique<ClientTranslator>();
  if (!client->load(":/i18n/korvexdata_zh_CN.qm")) {
    LogMgr::Get().Warn("CApp", "the Chinese texts could not be loaded");
    return false;
  }
  QCoreApplication::installTranslator(client.get());
  g_client = std::move(client);
  return true;
}

}  // namespace korvex::app

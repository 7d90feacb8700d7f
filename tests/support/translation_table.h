#pragma once

#include <QMap>
#include <QString>

namespace velmar::test {

// Every source text of the English translation files under `sourceDir`/resources/translations
// with its translation, as the files hold them. A parse error is reported through `errors`.
QMap<QString, QString> englishTranslations(const QString& sourceDir, QStringList* errors = nullptr);

}  // namespace velmar::test

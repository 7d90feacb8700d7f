#include "support/translation_table.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QXmlStreamReader>

namespace velmar::test {

QMap<QString, QString> englishTranslations(const QString& sourceDir, QStringList* errors) {
    QMap<QString, QString> out;
    const QDir dir(sourceDir + "/resources/translations");
    for (const QString& name : dir.entryList({"*.ts"}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) {
            if (errors) *errors << name + ": cannot be read";
            continue;
        }
        QXmlStreamReader xml(&f);
        QString source;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            if (xml.name() == QLatin1String("source")) source = xml.readElementText();
            if (xml.name() == QLatin1String("translation"))
                out.insert(source, xml.readElementText());
        }
        if (xml.hasError() && errors) *errors << name + ": " + xml.errorString();
    }
    return out;
}

}  // namespace velmar::test

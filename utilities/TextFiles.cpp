#include "utilities/TextFiles.h"

#include "utilities/Exceptions.h"

#include <QFile>
#include <QSaveFile>

namespace TextFiles {

Content Load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    Content content;
    QString text;
    if (auto bom = QStringConverter::encodingForData(data); bom && *bom != QStringConverter::Latin1) {
        content.encoding = *bom;
        content.byteOrderMark = true;
        QStringDecoder decoder(*bom);
        text = decoder(data);
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
    } else {
        text = QString::fromLatin1(data);
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.isEmpty())
        return content;
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    content.lines = text.split(QLatin1Char('\n'));
    return content;
}

void Save(const QString &path, const QStringList &lines, QStringConverter::Encoding encoding, bool byteOrderMark,
          Replace replace)
{
    QString text;
    for (const QString &line : lines)
        text += line + QLatin1String("\r\n");
    QStringEncoder encoder(encoding, byteOrderMark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    const QByteArray data = encoder(text);
    QSaveFile file(path);
    file.setDirectWriteFallback(replace == Replace::AllowDirect);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

} // namespace TextFiles

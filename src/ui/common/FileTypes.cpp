#include "ui/common/FileTypes.h"

FileTypes::FileTypes()
    : m_unknown(QStringLiteral(":drawable/icon_file_unknow.png"))
{
    const struct {
        const char* icon;
        const char* extensions;
    } table[] = {
        {":drawable/icon_file_music.png", "mid wav wma mp3"},
        {":drawable/icon_file_video.png", "mp4 wmv mpeg m4v 3gp 3gpp 3g2 3gpp2 asf mov mkv"},
        {":drawable/icon_file_pic.png", "jpg jpeg gif png bmp wbmp"},
        {":drawable/icon_file_text.png", "txt log xml ini lrc"},
        {":drawable/icon_file_pdf.png", "pdf"},
        {":drawable/icon_file_ppt.png", "ppt pptx"},
        {":drawable/icon_file_doc.png", "doc docx"},
        {":drawable/icon_file_xls.png", "xls xlsx"},
    };
    for (const auto& row : table) {
        const QIcon icon(QString::fromLatin1(row.icon));
        for (const QString& extension : QString::fromLatin1(row.extensions).split(QLatin1Char(' ')))
            m_icons.insert(extension, icon);
    }
}

QIcon FileTypes::icon(const QString& fileName) const
{
    const QString extension = fileName.mid(fileName.lastIndexOf(QLatin1Char('.')) + 1).toLower();
    return m_icons.value(extension, m_unknown);
}

#include "quorvel/browse/GetRecentFiles.h"

#include "quorvel/storage/QuorvelClientDatabase.h"

GetRecentFiles::GetRecentFiles(const ServerContent& server, QuorvelClientDatabase* history)
    : m_history(history)
    , m_server(server)
{
    qRegisterMetaType<QList<RecentFilesContent>>("QList<RecentFilesContent>");
}

void GetRecentFiles::execute()
{
    QuorvelClientDatabase* db = m_history;
    if (!db) {
        fail(tr("没有数据库"));
        return;
    }
    m_list = db->getRecentFiles(m_server.uuid);
    succeed();
}

void GetRecentFiles::finish()
{
    // A failed read shows as an empty history: the database logged why.
    emit getRecentFilesEnd(m_list);
}

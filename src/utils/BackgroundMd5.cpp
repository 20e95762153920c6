#include "utils/BackgroundMd5.h"

BackgroundMd5::BackgroundMd5(BlockRing& ring)
    : m_stage(ring, [this](const char* data, qint64 size, qint64) { m_md5.addData(data, size); })
{
}

QString BackgroundMd5::hexResult()
{
    m_stage.drain();
    return m_md5.hexResult();
}

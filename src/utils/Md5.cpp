#include "Md5.h"

#include <openssl/evp.h>

Md5::Md5()
    : m_ctx(EVP_MD_CTX_new())
{
    EVP_DigestInit_ex(m_ctx, EVP_md5(), nullptr);
}

Md5::~Md5()
{
    EVP_MD_CTX_free(m_ctx);
}

void Md5::addData(const char* data, qint64 size)
{
    EVP_DigestUpdate(m_ctx, data, size_t(size));
}

QString Md5::hexResult()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_ctx, digest, &length);
    EVP_DigestInit_ex(m_ctx, EVP_md5(), nullptr);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

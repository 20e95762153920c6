#pragma once

#include <QByteArray>
#include <QString>

struct evp_md_ctx_st;

// An incremental MD5 over OpenSSL: transfers hash every byte they move, and OpenSSL's
// digest keeps pace with the network where a plain C implementation does not.
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    void addData(const char* data, qint64 size);
    void addData(const QByteArray& data) { addData(data.constData(), data.size()); }
    // 32 lower-case hex digits; the digest starts afresh afterwards.
    QString hexResult();

private:
    evp_md_ctx_st* m_ctx;
};

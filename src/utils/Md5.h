#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

struct evp_md_ctx_st;

// An incremental MD5. Transfers hash every byte they move, on both sides at once, so the
// digest's speed sets theirs. Three engines: OpenSSL's, and two of our own (a portable
// one, ordered so that only what depends on the previous step waits for it, and one
// that runs each step in an AVX-512 vector register). Which is fastest depends on the
// processor, not on its flags (on some with AVX-512 that engine is the slowest), so the
// default engine is chosen once per process by timing them: OpenSSL's, unless one of
// ours is faster by a tenth or more.
class Md5 {
public:
    enum class Engine { OpenSsl, Portable, Avx512 };

    Md5(); // chosenEngine()
    explicit Md5(Engine engine); // an engine this processor lacks falls back to Portable
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    static bool isSupported(Engine engine);
    static QString nameOf(Engine engine);

    // What the choice measured: each engine this processor runs, in MB/s (best of a
    // few short rounds).
    struct Trial {
        Engine engine;
        double megabytesPerSecond;
    };
    static QList<Trial> trials();
    // The engine Md5() uses; timed on first use (a few tens of milliseconds).
    static Engine chosenEngine();

    void addData(const char* data, qint64 size);
    void addData(const QByteArray& data) { addData(data.constData(), data.size()); }
    // 32 lower-case hex digits; the digest starts afresh afterwards.
    QString hexResult();

    using Compress = void (*)(quint32 state[4], const uchar* blocks, qint64 count);

private:
    void reset();

    Compress m_compress = nullptr; // null: OpenSSL's
    evp_md_ctx_st* m_context = nullptr;
    quint32 m_state[4];
    quint64 m_length = 0; // bytes added, modulo 2^64
    uchar m_pending[64];
};

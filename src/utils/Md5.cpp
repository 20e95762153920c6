#include "utils/Md5.h"

#include <QtEndian>
#include <cstring>
#include <ctime>
#include <limits>
#include <openssl/evp.h>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUORVEL_MD5_AVX512 1
#endif

namespace {

// clang-format off
const quint32 RoundConstants[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
constexpr int Rotations[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
// clang-format on
const quint32 InitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
constexpr int Lookahead = 1024;

// Step I of 64, over the state words v (which play a, b, c, d in turn) and the block's
// words x. Each step is a += K + x[g]; a += f(b, c, d); a = rotl(a, s) + b, and only its
// second half waits for b, the previous step's result.
template <int I> struct Step {
    static constexpr int Round = I / 16;
    static constexpr int A = (64 - I) % 4, B = (65 - I) % 4, C = (66 - I) % 4, D = (67 - I) % 4;
    static constexpr int Word = Round == 0 ? I
        : Round == 1                       ? (5 * I + 1) % 16
        : Round == 2                       ? (3 * I + 5) % 16
                                           : 7 * I % 16;
    static constexpr int Rotation = Rotations[Round][I % 4];
};

template <int I> inline void portableStep(quint32 v[4], const quint32 x[16])
{
    using S = Step<I>;
    const quint32 b = v[S::B], c = v[S::C], d = v[S::D];
    quint32 a = v[S::A] + RoundConstants[I] + x[S::Word];
    if constexpr (S::Round == 1)
        a += c & ~d; // G's other half does not depend on b either
    // Keeps the compiler from folding the early half into the chain: a cycle per step.
    __asm__("" : "+r"(a));
    if constexpr (S::Round == 0)
        a += d ^ (b & (c ^ d));
    else if constexpr (S::Round == 1)
        a += b & d;
    else if constexpr (S::Round == 2)
        a += b ^ (c ^ d);
    else
        a += c ^ (b | ~d);
    v[S::A] = ((a << S::Rotation) | (a >> (32 - S::Rotation))) + b;
}

template <int... I> inline void portableSteps(quint32 v[4], const quint32 x[16], std::integer_sequence<int, I...>)
{
    (portableStep<I>(v, x), ...);
}

void compressPortable(quint32 state[4], const uchar* blocks, qint64 count)
{
    quint32 sa = state[0], sb = state[1], sc = state[2], sd = state[3];
    for (; count > 0; --count, blocks += 64) {
        quint32 x[16];
        for (int i = 0; i < 16; ++i)
            x[i] = qFromLittleEndian<quint32>(blocks + 4 * i);
        // Asks for the bytes well ahead: blocks that another processor has just received
        // are not in this one's cache, and MD5's chain leaves the memory idle meanwhile.
        __builtin_prefetch(blocks + Lookahead);
        quint32 v[4] = {sa, sb, sc, sd};
        portableSteps(v, x, std::make_integer_sequence<int, 64>());
        sa += v[0];
        sb += v[1];
        sc += v[2];
        sd += v[3];
    }
    state[0] = sa;
    state[1] = sb;
    state[2] = sc;
    state[3] = sd;
}

#ifdef QUORVEL_MD5_AVX512
// The state words live in lane 0 of vector registers, where f is one three-input logic
// instruction and the rotation one more. The truth tables are f over b = 0xf0, c = 0xcc,
// d = 0xaa.
constexpr int LogicTables[4] = {0xca, 0xe4, 0x96, 0x39};

template <int I>
__attribute__((target("avx512f,avx512vl"), always_inline)) inline void avx512Step(__m128i v[4], const quint32 x[16])
{
    using S = Step<I>;
    __m128i a = _mm_add_epi32(v[S::A], _mm_cvtsi32_si128(int(RoundConstants[I] + x[S::Word])));
    __asm__("" : "+v"(a));
    a = _mm_add_epi32(a, _mm_ternarylogic_epi32(v[S::B], v[S::C], v[S::D], LogicTables[S::Round]));
    v[S::A] = _mm_add_epi32(_mm_rol_epi32(a, S::Rotation), v[S::B]);
}

template <int... I>
__attribute__((target("avx512f,avx512vl"), always_inline)) inline void avx512Steps(
    __m128i v[4], const quint32 x[16], std::integer_sequence<int, I...>)
{
    (avx512Step<I>(v, x), ...);
}

__attribute__((target("avx512f,avx512vl"))) void compressAvx512(quint32 state[4], const uchar* blocks, qint64 count)
{
    // Named, not an array: an array of vectors ends up in memory between blocks.
    __m128i sa = _mm_cvtsi32_si128(int(state[0])), sb = _mm_cvtsi32_si128(int(state[1]));
    __m128i sc = _mm_cvtsi32_si128(int(state[2])), sd = _mm_cvtsi32_si128(int(state[3]));
    for (; count > 0; --count, blocks += 64) {
        quint32 x[16];
        std::memcpy(x, blocks, sizeof x); // x86 is little-endian, as MD5's words are
        __builtin_prefetch(blocks + Lookahead);
        __m128i v[4] = {sa, sb, sc, sd};
        avx512Steps(v, x, std::make_integer_sequence<int, 64>());
        sa = _mm_add_epi32(sa, v[0]);
        sb = _mm_add_epi32(sb, v[1]);
        sc = _mm_add_epi32(sc, v[2]);
        sd = _mm_add_epi32(sd, v[3]);
    }
    state[0] = quint32(_mm_cvtsi128_si32(sa));
    state[1] = quint32(_mm_cvtsi128_si32(sb));
    state[2] = quint32(_mm_cvtsi128_si32(sc));
    state[3] = quint32(_mm_cvtsi128_si32(sd));
}
#endif

Md5::Compress compressFor(Md5::Engine engine)
{
#ifdef QUORVEL_MD5_AVX512
    if (engine == Md5::Engine::Avx512 && Md5::isSupported(engine))
        return compressAvx512;
#endif
    Q_UNUSED(engine);
    return compressPortable;
}

struct Choice {
    QList<Md5::Trial> trials;
    Md5::Engine engine = Md5::Engine::OpenSsl;
};

Choice measure()
{
    constexpr int Bytes = 1 << 20;
    constexpr int Rounds = 5;
    QByteArray data(Bytes, Qt::Uninitialized);
    for (int i = 0; i < Bytes; ++i)
        data[i] = char(i * 2654435761u >> 24);
    QList<Md5::Engine> engines;
    for (Md5::Engine e : {Md5::Engine::OpenSsl, Md5::Engine::Portable, Md5::Engine::Avx512}) {
        if (Md5::isSupported(e))
            engines << e;
    }
    QList<qint64> best;
    for (int i = 0; i < engines.size(); ++i)
        best << std::numeric_limits<qint64>::max();
    // The thread's own processor time, so that a machine busy with other work does not
    // count its time slices against whichever engine they fell on; the rounds interleave
    // the engines, so that what remains (caches, clock speed) hits them alike.
    const auto cpuNs = [] {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    };
    for (int round = 0; round < Rounds; ++round) {
        for (int i = 0; i < engines.size(); ++i) {
            Md5 md5(engines.at(i));
            const qint64 start = cpuNs();
            md5.addData(data);
            md5.hexResult();
            best[i] = qMin(best[i], qMax<qint64>(1, cpuNs() - start));
        }
    }
    Choice choice;
    qint64 ownBest = std::numeric_limits<qint64>::max();
    Md5::Engine own = Md5::Engine::Portable;
    qint64 openSsl = std::numeric_limits<qint64>::max();
    for (int i = 0; i < engines.size(); ++i) {
        choice.trials.append({engines.at(i), Bytes / (best.at(i) / 1e9) / 1e6});
        if (engines.at(i) == Md5::Engine::OpenSsl)
            openSsl = best.at(i);
        else if (best.at(i) < ownBest) {
            ownBest = best.at(i);
            own = engines.at(i);
        }
    }
    // Ours only when it is faster by a tenth at least: a smaller lead is noise.
    choice.engine = ownBest * 11 <= openSsl * 10 ? own : Md5::Engine::OpenSsl;
    return choice;
}

const Choice& choice()
{
    static const Choice chosen = measure();
    return chosen;
}

} // namespace

Md5::Md5()
    : Md5(chosenEngine())
{
}

Md5::Md5(Engine engine)
{
    if (engine == Engine::OpenSsl) {
        m_context = EVP_MD_CTX_new();
        if (!m_context)
            qFatal("[E][Md5] OpenSSL has no memory for a digest.");
    } else {
        m_compress = compressFor(engine);
    }
    reset();
}

Md5::~Md5()
{
    if (m_context)
        EVP_MD_CTX_free(m_context);
}

Md5::Engine Md5::chosenEngine()
{
    return choice().engine;
}

QList<Md5::Trial> Md5::trials()
{
    return choice().trials;
}

QString Md5::nameOf(Engine engine)
{
    switch (engine) {
    case Engine::OpenSsl: return QStringLiteral("openssl");
    case Engine::Portable: return QStringLiteral("portable");
    case Engine::Avx512: return QStringLiteral("avx512");
    }
    return QString();
}

bool Md5::isSupported(Engine engine)
{
    if (engine == Engine::Portable || engine == Engine::OpenSsl)
        return true;
#ifdef QUORVEL_MD5_AVX512
    __builtin_cpu_init(); // may run before the runtime's own constructors did
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
}

void Md5::reset()
{
    if (m_context) {
        if (EVP_DigestInit_ex(m_context, EVP_md5(), nullptr) != 1)
            qFatal("[E][Md5] OpenSSL offers no MD5.");
        return;
    }
    std::memcpy(m_state, InitialState, sizeof m_state);
    m_length = 0;
}

void Md5::addData(const char* data, qint64 size)
{
    if (size <= 0)
        return;
    if (m_context) {
        EVP_DigestUpdate(m_context, data, size_t(size));
        return;
    }
    auto bytes = reinterpret_cast<const uchar*>(data);
    const int pending = int(m_length % 64);
    m_length += quint64(size);
    if (pending) {
        const qint64 fill = qMin<qint64>(64 - pending, size);
        std::memcpy(m_pending + pending, bytes, size_t(fill));
        if (pending + fill < 64)
            return;
        m_compress(m_state, m_pending, 1);
        bytes += fill;
        size -= fill;
    }
    m_compress(m_state, bytes, size / 64);
    std::memcpy(m_pending, bytes + (size & ~qint64(63)), size_t(size % 64));
}

QString Md5::hexResult()
{
    if (m_context) {
        uchar digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_context, digest, &length);
        reset();
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    }
    const quint64 bits = m_length * 8;
    // 0x80, zeros up to 56 bytes into a block, then the length in bits.
    uchar padding[72] = {0x80};
    const int pending = int(m_length % 64);
    const int padSize = (pending < 56 ? 56 : 120) - pending;
    qToLittleEndian(bits, padding + padSize);
    addData(reinterpret_cast<const char*>(padding), padSize + 8);
    Q_ASSERT(m_length % 64 == 0);

    uchar digest[16];
    for (int i = 0; i < 4; ++i)
        qToLittleEndian(m_state[i], digest + 4 * i);
    reset();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), 16).toHex());
}

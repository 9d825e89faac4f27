// Ka::Deflate: zlib as the oracle in both directions, direction and format
// rules, damaged and hostile input, and failing streams below.
#include "ka/deflate.h"
#include "ka/exception.h"
#include "ka/membuf.h"
#include "support/bytes.h"
#include "support/checks.h"
#include "support/trickle.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using support::messageOf;

constexpr auto &kstr = support::toKa;
constexpr auto &str = support::toStd;

// Text that compresses somewhat but not trivially, larger than one buffer.
std::string sampleText(size_t nBytes) {
    static const char *aWords[] = {"vault", "note", "<p>", "</p>", "cipher", "42", "\n", "zlib"};
    std::string s;
    uint32_t x = 12345;
    while (s.size() < nBytes) {
        x = x * 1103515245u + 12345u;
        s += aWords[(x >> 16) % 8];
        s += char('a' + (x >> 8) % 26);
    }
    s.resize(nBytes);
    return s;
}

// Compresses through our filter, written in uneven pieces.
std::string ourDeflate(const std::string &sPlain, int eFormat, int iLevel = 9) {
    Ka::MemBuf mb;
    Ka::Deflate d(mb, iLevel, eFormat);
    size_t iPos = 0, iStep = 1;
    while (iPos < sPlain.size()) {
        size_t n = std::min(iStep, sPlain.size() - iPos);
        d.write(sPlain.data() + iPos, int(n));
        iPos += n;
        iStep = iStep * 3 + 7;
    }
    int iTotal = d.stop();
    EXPECT_EQ(iTotal, mb.getSize());
    return str(mb.getString());
}

// Decompresses through our filter, read in uneven pieces.
std::string ourInflate(Ka::Stream &rBelow, int eFormat) {
    Ka::Deflate d(rBelow, 9, eFormat);
    std::string sOut;
    std::vector<char> aBuf(70000);
    int iStep = 1;
    for (int iGuard = 0; !d.isEos() && iGuard < 100000; ++iGuard) {
        int n = d.read(aBuf.data(), iStep);
        sOut.append(aBuf.data(), size_t(n));
        iStep = (iStep * 5 + 3) % 65000 + 1;
    }
    EXPECT_TRUE(d.isEos());
    return sOut;
}

std::string ourInflate(const std::string &sPacked, int eFormat) {
    Ka::MemBuf mb(kstr(sPacked));
    return ourInflate(mb, eFormat);
}

// zlib as the oracle: window bits -15 raw, 15 zlib, 31 gzip, 47 either.
std::string zlibInflate(const std::string &sPacked, int iWindowBits) {
    z_stream z{};
    EXPECT_EQ(Z_OK, inflateInit2(&z, iWindowBits));
    std::string sOut;
    std::vector<unsigned char> aBuf(65536);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(sPacked.data()));
    z.avail_in = uInt(sPacked.size());
    int iRes;
    do {
        z.next_out = aBuf.data();
        z.avail_out = uInt(aBuf.size());
        iRes = inflate(&z, Z_NO_FLUSH);
        sOut.append(reinterpret_cast<char *>(aBuf.data()), aBuf.size() - z.avail_out);
    } while (iRes == Z_OK);
    EXPECT_EQ(Z_STREAM_END, iRes);
    EXPECT_EQ(0u, z.avail_in);
    inflateEnd(&z);
    return sOut;
}

std::string zlibDeflate(const std::string &sPlain, int iWindowBits, int iLevel = 6) {
    z_stream z{};
    EXPECT_EQ(Z_OK, deflateInit2(&z, iLevel, Z_DEFLATED, iWindowBits, 8, Z_DEFAULT_STRATEGY));
    std::string sOut(deflateBound(&z, uLong(sPlain.size())), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(sPlain.data()));
    z.avail_in = uInt(sPlain.size());
    z.next_out = reinterpret_cast<Bytef *>(sOut.data());
    z.avail_out = uInt(sOut.size());
    EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
    sOut.resize(z.total_out);
    deflateEnd(&z);
    return sOut;
}

TEST(DeflateWrite, AbcIsAZlibStreamThatZlibInflates) {
    std::string sPacked = ourDeflate("abc", Ka::Deflate::Zlib | Ka::Deflate::AutoDetect);
    ASSERT_GE(sPacked.size(), 2u);
    EXPECT_EQ('\x78', sPacked[0]);
    EXPECT_EQ('\xda', sPacked[1]); // level 9
    char aOut[16];
    uLongf nOut = sizeof(aOut);
    ASSERT_EQ(Z_OK, uncompress(reinterpret_cast<Bytef *>(aOut), &nOut,
                               reinterpret_cast<const Bytef *>(sPacked.data()), sPacked.size()));
    EXPECT_EQ("abc", std::string(aOut, nOut));
}

TEST(DeflateWrite, EveryContainerInflatesWithZlib) {
    std::string sPlain = sampleText(300000);
    EXPECT_EQ(sPlain, zlibInflate(ourDeflate(sPlain, Ka::Deflate::Zlib), 15));
    EXPECT_EQ(sPlain, zlibInflate(ourDeflate(sPlain, Ka::Deflate::Raw), -15));
    std::string sGzip = ourDeflate(sPlain, Ka::Deflate::Gzip | Ka::Deflate::AutoDetect);
    EXPECT_EQ("\x1f\x8b", sGzip.substr(0, 2));
    EXPECT_EQ(sPlain, zlibInflate(sGzip, 31));
    // Level 0 stores; the data must still come back whole.
    EXPECT_EQ(sPlain, zlibInflate(ourDeflate(sPlain, Ka::Deflate::Zlib, 0), 15));
}

TEST(DeflateWrite, CompressedSizeCountsEveryByteWritten) {
    Ka::MemBuf mb;
    Ka::Deflate d(mb, 9, 6);
    std::string sPlain = sampleText(200000);
    EXPECT_EQ(int(sPlain.size()), d.write(sPlain.data(), int(sPlain.size())));
    EXPECT_EQ(mb.getSize(), d.getCompressedSize());
    int iTotal = d.stop();
    EXPECT_EQ(mb.getSize(), iTotal);
    EXPECT_EQ(iTotal, d.getCompressedSize());
    EXPECT_FALSE(d.isOpen());
    EXPECT_EQ(0, d.stop()); // the destructor's stop() after close() adds nothing
    EXPECT_EQ(iTotal, mb.getSize());
}

TEST(DeflateWrite, NothingWrittenWritesNothing) {
    Ka::MemBuf mb;
    {
        Ka::Deflate d(mb, 9, 6);
        EXPECT_FALSE(d.isOpen());
        EXPECT_EQ(0, d.write("x", 0));
        EXPECT_EQ(0, d.stop());
    }
    { Ka::Deflate d(mb, 9, 6); }
    EXPECT_EQ(0, mb.getSize());
}

TEST(DeflateRead, ZlibAndGzipFromOutsideReadBackInFormat6) {
    std::string sPlain = sampleText(250000);
    std::vector<unsigned char> aPacked(compressBound(uLong(sPlain.size())));
    uLongf nPacked = aPacked.size();
    ASSERT_EQ(Z_OK, compress2(aPacked.data(), &nPacked,
                              reinterpret_cast<const Bytef *>(sPlain.data()), sPlain.size(), 9));
    std::string sZlib(reinterpret_cast<char *>(aPacked.data()), nPacked);
    EXPECT_EQ(sPlain, ourInflate(sZlib, 6));
    EXPECT_EQ(sPlain, ourInflate(zlibDeflate(sPlain, 31), 6));
    EXPECT_EQ(sPlain, ourInflate(zlibDeflate(sPlain, -15), Ka::Deflate::Raw));
    EXPECT_EQ(sPlain, ourInflate(zlibDeflate(sPlain, 31), Ka::Deflate::Gzip));

    // "abc" as the gzip program writes it (gzip -n -9).
    const unsigned char aGzip[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0x02, 0x03, 0x4b, 0x4c, 0x4a, 0x06, 0x00, 0xc2,
                                   0x41, 0x24, 0x35, 0x03, 0x00, 0x00, 0x00};
    Ka::MemBuf mb(Ka::String(reinterpret_cast<const char *>(aGzip), int(sizeof(aGzip))));
    Ka::Deflate d(mb, 9, 6);
    char aOut[10];
    EXPECT_EQ(3, d.read(aOut, 10));
    EXPECT_EQ("abc", std::string(aOut, 3));
    EXPECT_TRUE(d.isEos());
    EXPECT_EQ(0, d.read(aOut, 10));
}

TEST(DeflateRead, StopsRightAfterTheCompressedDataInASeekableStream) {
    std::string sPacked = ourDeflate(sampleText(5000), 6);
    Ka::MemBuf mb(kstr(sPacked + "TRAILER"));
    Ka::Deflate d(mb, 9, 6);
    std::vector<char> aBuf(10000);
    EXPECT_EQ(5000, d.read(aBuf.data(), int(aBuf.size())));
    EXPECT_TRUE(d.isEos());
    EXPECT_EQ(int(sPacked.size()), mb.tell());
    // Reading on at the end neither produces bytes nor moves the stream again.
    EXPECT_EQ(0, d.read(aBuf.data(), 10));
    EXPECT_EQ(int(sPacked.size()), mb.tell());
    EXPECT_EQ("TRAILER", str(mb.readAll()));
}

TEST(DeflateRead, StartReadsTheNextOfTwoConcatenatedStreams) {
    std::string sPacked = ourDeflate("first", 2) + ourDeflate("second", 3);
    Ka::MemBuf mb(kstr(sPacked));
    Ka::Deflate d(mb, 9, 6);
    EXPECT_EQ("first", str(d.readAll()));
    d.stop();
    d.start();
    EXPECT_FALSE(d.isEos());
    EXPECT_EQ("second", str(d.readAll()));
    EXPECT_TRUE(mb.isEos());
}

TEST(DeflateRead, TrickleOfBytesWithEmptyReadsInBetween) {
    std::string sPlain = sampleText(20000);
    support::TrickleStream ts(kstr(ourDeflate(sPlain, 6)), 7);
    EXPECT_EQ(sPlain, ourInflate(ts, 6));
}

TEST(DeflateDirection, FirstCallFixesIt) {
    Ka::MemBuf mb;
    Ka::Deflate w(mb, 9, 6);
    char c = 0;
    EXPECT_EQ(0, w.read(&c, 0)); // an empty call fixes nothing
    EXPECT_EQ(3, w.write("abc", 3));
    EXPECT_EQ("This deflate filter is in writing mode, you can't read.",
              messageOf([&] { w.read(&c, 1); }));
    EXPECT_EQ(3, w.write("def", 3));
    w.stop();
    EXPECT_EQ("abcdef", zlibInflate(str(mb.getString()), 15));

    mb.setPos(0);
    Ka::Deflate r(mb, 9, 6);
    EXPECT_EQ(1, r.read(&c, 1));
    EXPECT_EQ("This deflate filter is in reading mode, you can't write.",
              messageOf([&] { r.write("x", 1); }));
}

TEST(DeflateDirection, FormatWordsRefused) {
    Ka::MemBuf mb;
    char c;
    EXPECT_EQ("Invalid format for deflate.", messageOf([&] {
                  Ka::Deflate d(mb, 9, Ka::Deflate::AutoDetect);
                  d.write("a", 1);
              }));
    EXPECT_EQ("Invalid format for deflate.", messageOf([&] {
                  Ka::Deflate d(mb, 9, 0);
                  d.write("a", 1);
              }));
    for (int eFormat : {0, 8, 9}) {
        EXPECT_EQ("Format mode for deflate read.", messageOf([&] {
                      Ka::Deflate d(mb, 9, eFormat);
                      d.read(&c, 1);
                  }));
    }
    EXPECT_EQ(0, mb.getSize());
}

TEST(DeflateDirection, UseAfterStopThrowsUntilStart) {
    Ka::MemBuf mb;
    Ka::Deflate d(mb, 9, 2);
    d.write("abc", 3);
    d.stop();
    int iFirst = mb.getSize();
    EXPECT_EQ("Deflate: Stream Error - the filter is stopped.",
              messageOf([&] { d.write("x", 1); }));
    d.start();
    EXPECT_EQ(0, d.getCompressedSize());
    d.write("xyz", 3);
    EXPECT_EQ(mb.getSize() - iFirst, d.stop());
    EXPECT_EQ("xyz", zlibInflate(str(mb.getString()).substr(size_t(iFirst)), 15));
}

TEST(DeflateErrors, ZlibResultsCarryZlibsText) {
    Ka::MemBuf mb;
    // No zlib message for a refused level: zlib's text for the result stands in.
    EXPECT_EQ("Deflate: Stream Error - stream error", messageOf([&] {
                  Ka::Deflate d(mb, 10, 2);
                  d.write("a", 1);
              }));

    std::string sPacked = ourDeflate(sampleText(1000), 2);
    std::string sBadHeader = sPacked;
    sBadHeader[1] ^= 1;
    EXPECT_EQ("Deflate: Data Error - incorrect header check",
              messageOf([&] { ourInflate(sBadHeader, 6); }));
    std::string sBadCheck = sPacked;
    sBadCheck.back() ^= 1;
    EXPECT_EQ("Deflate: Data Error - incorrect data check",
              messageOf([&] { ourInflate(sBadCheck, 6); }));
}

TEST(DeflateErrors, EveryCutEndsPrematurely) {
    std::string sPacked = ourDeflate(sampleText(3000), 6);
    for (size_t n = 0; n < sPacked.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ("Premature end of underlying stream found reading deflate stream.",
                  messageOf([&] { ourInflate(sPacked.substr(0, n), 6); }));
    }
}

TEST(DeflateErrors, FlippedBytesEndInAKaException) {
    std::string sPlain = sampleText(3000);
    std::string sPacked = ourDeflate(sPlain, 7);
    for (size_t i = 0; i < sPacked.size(); ++i) {
        for (int iBit : {0, 5}) {
            std::string sBad = sPacked;
            sBad[i] ^= char(1 << iBit);
            try {
                // Damage zlib cannot see (gzip header fields, say) may pass.
                EXPECT_TRUE(sPlain == ourInflate(sBad, 6));
            } catch (const Ka::ExceptionBase &) {
            }
        }
    }
}

TEST(DeflateErrors, PresetDictionaryIsRefusedNotAwaited) {
    z_stream z{};
    ASSERT_EQ(Z_OK, deflateInit(&z, 9));
    ASSERT_EQ(Z_OK, deflateSetDictionary(&z, reinterpret_cast<const Bytef *>("abcdef"), 6));
    unsigned char aOut[128];
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>("abcdefabcdef"));
    z.avail_in = 12;
    z.next_out = aOut;
    z.avail_out = sizeof(aOut);
    ASSERT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
    std::string sPacked(reinterpret_cast<char *>(aOut), z.total_out);
    deflateEnd(&z);
    EXPECT_EQ("Deflate: Data Error - need dictionary", messageOf([&] { ourInflate(sPacked, 6); }));
}

TEST(DeflateErrors, BombReadsOnlyWhatIsAsked) {
    std::string sZeros(8 << 20, '\0');
    std::string sPacked = zlibDeflate(sZeros, 15, 9);
    ASSERT_LT(sPacked.size(), 65536u);
    Ka::MemBuf mb(kstr(sPacked + std::string(200000, 'x')));
    Ka::Deflate d(mb, 9, 6);
    char aBuf[100];
    EXPECT_EQ(100, d.read(aBuf, 100));
    EXPECT_FALSE(d.isEos());
    EXPECT_LE(mb.tell(), 65536); // one buffer of input, whatever it expands to
}

TEST(DeflateErrors, ArgumentsOutsideABufferAreRefused) {
    Ka::MemBuf mb(kstr(ourDeflate("abc", 2)));
    Ka::Deflate d(mb, 9, 6);
    EXPECT_EQ(0, d.read(nullptr, 10));
    char aBuf[4] = {};
    EXPECT_EQ(0, d.read(aBuf, -5));
    EXPECT_EQ(0, d.write(nullptr, 10));
    EXPECT_EQ(0, d.write(aBuf, -1));
    EXPECT_EQ(3, d.read(aBuf, 4));
}

TEST(DeflateFailingStream, ErrorsReachExplicitCallersOnly) {
    std::string sPlain = sampleText(100000);
    {
        support::FullStream fs(100);
        Ka::Deflate d(fs, 9, 6);
        d.write(sPlain.data(), int(sPlain.size()));
        EXPECT_EQ("No space left on device", messageOf([&] { d.stop(); }));
        EXPECT_FALSE(d.isOpen());
        EXPECT_EQ(0, d.stop());
    }
    {
        // Stopped by the destructor: the failure is swallowed.
        support::FullStream fs(100);
        Ka::Deflate d(fs, 9, 6);
        d.write(sPlain.data(), int(sPlain.size()));
    }
    // A stream that quietly takes nothing must not pass for success either.
    support::FullStream fs(100, false);
    Ka::Deflate d(fs, 9, 6);
    d.write(sPlain.data(), int(sPlain.size()));
    EXPECT_EQ("Deflate: the stream below refused the compressed data.",
              messageOf([&] { d.stop(); }));
}

TEST(DeflateFailingStream, DestroyedDuringUnwinding) {
    std::string sPlain = sampleText(1000);
    support::FullStream fs(10);
    EXPECT_THROW(
        {
            Ka::Deflate d(fs, 9, 6);
            d.write(sPlain.data(), int(sPlain.size()));
            throw std::runtime_error("unwinding");
        },
        std::runtime_error);
}

} // namespace

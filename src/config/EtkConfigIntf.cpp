#include "config/EtkConfigIntf.h"

#include <zlib.h>

#include <limits>

namespace {

// A stream that claims to inflate to more than this is refused rather than exhausting memory.
constexpr qsizetype MaxInflatedSize = qsizetype(1) << 31;

// Inflates with the given window bits; the result counts only when the stream ended properly, which
// is where zlib checks the CRC-32 (gzip) or Adler-32 (zlib) of everything it handed out.
bool Inflate(const QByteArray& In, int WindowBits, QByteArray& Out) {
    z_stream stream{};
    if (inflateInit2(&stream, WindowBits) != Z_OK)
        return false;
    Out.clear();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(In.constData()));
    stream.avail_in = static_cast<uInt>(In.size());
    char buffer[65536];
    int rc = Z_OK;
    while (rc == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        rc = inflate(&stream, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        Out.append(buffer, static_cast<qsizetype>(sizeof buffer - stream.avail_out));
        if (Out.size() > MaxInflatedSize) {
            rc = Z_MEM_ERROR;
            break;
        }
        if (rc == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
            rc = Z_BUF_ERROR;  // input ended before the stream did: truncated
            break;
        }
    }
    inflateEnd(&stream);
    if (rc != Z_STREAM_END) {
        Out.clear();
        return false;
    }
    return true;
}

}  // namespace

bool InflateConfigBytes(QByteArray& Bytes) {
    if (Bytes.size() < 3)
        return false;
    const auto b0 = static_cast<unsigned char>(Bytes[0]);
    const auto b1 = static_cast<unsigned char>(Bytes[1]);
    const auto b2 = static_cast<unsigned char>(Bytes[2]);
    const bool gzip = b0 == 0x1F && b1 == 0x8B && b2 == 0x08;
    const bool zlib = b0 == 0x78 && (b1 == 0x01 || b1 == 0x9C || b1 == 0xDA);
    if (!gzip && !zlib)
        return false;
    if (Bytes.size() > std::numeric_limits<uInt>::max())
        return false;
    QByteArray inflated;
    if (Inflate(Bytes, 16 + MAX_WBITS, inflated) || Inflate(Bytes, MAX_WBITS, inflated)) {
        Bytes = inflated;
        return true;
    }
    return false;
}

QString TrimConfigText(const QString& Text) {
    qsizetype begin = 0;
    qsizetype end = Text.size();
    while (begin < end && Text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && Text.at(end - 1).unicode() <= 0x20)
        --end;
    return begin == 0 && end == Text.size() ? Text : Text.mid(begin, end - begin);
}

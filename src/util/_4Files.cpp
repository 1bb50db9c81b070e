#include "util/_4Files.h"

#include "platform/CodePages.h"
#include "util/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>
#include <typeinfo>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr char16_t CR = u'\r';
constexpr char16_t LF = u'\n';
const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);
const QByteArray Utf16LeBom("\xFF\xFE", 2);
const QByteArray Utf16BeBom("\xFE\xFF", 2);

// A line longer than this gives its buffer back afterwards instead of holding it for good.
constexpr size_t KeptLineCapacity = 64 * 1024;

QString FileErrorText(const char* What, const QString& FileName, const QString& Reason) {
    return QStringLiteral("%1 \"%2\". %3").arg(QLatin1StringView(What), FileName, Reason);
}

// The first LF or NUL in [Begin, End), or End: one pass instead of two searches.
template <typename TChar>
const TChar* FindLineFeedOrNul(const TChar* Begin, const TChar* End) {
    const TChar* pos = Begin;
#ifdef __SSE2__
    constexpr int PerVector = 16 / int(sizeof(TChar));
    const __m128i zero = _mm_setzero_si128();
    for (; End - pos >= PerVector; pos += PerVector) {
        const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pos));
        __m128i hits;
        if constexpr (sizeof(TChar) == 1)
            hits = _mm_or_si128(_mm_cmpeq_epi8(chars, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(chars, zero));
        else
            hits = _mm_or_si128(_mm_cmpeq_epi16(chars, _mm_set1_epi16(LF)), _mm_cmpeq_epi16(chars, zero));
        if (const unsigned mask = unsigned(_mm_movemask_epi8(hits)); mask != 0)
            return pos + __builtin_ctz(mask) / int(sizeof(TChar));
    }
#endif
    for (; pos < End; ++pos)
        if (*pos == TChar(LF) || *pos == TChar(0))
            return pos;
    return End;
}

// The base class's rules applied to a whole run of characters at once: collects the characters up to
// the line end into Line and moves Pos behind the line end. Answers whether the line ended; when not,
// Pos is End and the line goes on in the next block.
template <typename TChar, typename TString>
bool ScanPlain(TString& Line, const TChar*& Pos, const TChar* End, bool SupportUnixLineBreak) {
    for (;;) {
        const TChar* stop = FindLineFeedOrNul(Pos, End);
        Line.append(Pos, stop);
        if (stop == End) {
            Pos = End;
            return false;
        }
        Pos = stop + 1;
        if (*stop == TChar(0))
            continue;
        // The CR may have come with the previous block: Line holds it either way.
        if (!Line.empty() && Line.back() == TChar(CR)) {
            Line.pop_back();
            return true;
        }
        if (SupportUnixLineBreak)
            return true;
        Line.push_back(TChar(LF));
    }
}

// A line that lies wholly in [Begin, End) with no NUL in it: its characters without the line end, and
// End moved just behind the line end. Otherwise nothing, and the caller collects the line piece by piece.
template <typename TChar>
std::optional<std::basic_string_view<TChar>> LineInBlock(const TChar* Begin, const TChar*& End,
                                                          bool SupportUnixLineBreak) {
    const TChar* lineFeed = FindLineFeedOrNul(Begin, End);
    if (lineFeed == End || *lineFeed != TChar(LF))
        return std::nullopt;
    const bool crLf = lineFeed != Begin && lineFeed[-1] == TChar(CR);
    if (!crLf && !SupportUnixLineBreak)
        return std::nullopt;
    End = lineFeed + 1;
    return std::basic_string_view<TChar>(Begin, size_t(lineFeed - Begin - (crLf ? 1 : 0)));
}

template <typename TString>
void ReleaseLongLine(TString& Line) {
    if (Line.capacity() > KeptLineCapacity)
        TString().swap(Line);
}

// Decodes Size bytes of strictly valid UTF-8 into Out, which has room for Size units, and answers the
// number of units written; answers -1 at the first byte that is not strictly valid UTF-8 (overlong
// forms, surrogates, code points above U+10FFFF, cut-off sequences). Qt's decoder stays the judge of
// such lines; this one only takes the common valid case, at about twice its speed on text with umlauts.
qsizetype DecodeValidUtf8(const uchar* Src, qsizetype Size, char16_t* Out) {
    const uchar* src = Src;
    const uchar* const end = Src + Size;
    char16_t* dst = Out;
    // One character of two to four bytes at src; false when it is not strictly valid.
    const auto decodeMultiByte = [&src, end, &dst]() -> bool {
        const uchar lead = *src;
        const auto continuation = [&src](int Index) { return (src[Index] & 0xC0) == 0x80; };
        if (lead < 0xC2)
            return false;  // a continuation byte, or an overlong two-byte form
        if (lead < 0xE0) {
            if (end - src < 2 || !continuation(1))
                return false;
            *dst++ = char16_t(((lead & 0x1F) << 6) | (src[1] & 0x3F));
            src += 2;
            return true;
        }
        if (lead < 0xF0) {
            if (end - src < 3 || !continuation(1) || !continuation(2))
                return false;
            if ((lead == 0xE0 && src[1] < 0xA0) || (lead == 0xED && src[1] >= 0xA0))
                return false;  // overlong, or a surrogate
            *dst++ = char16_t(((lead & 0x0F) << 12) | ((src[1] & 0x3F) << 6) | (src[2] & 0x3F));
            src += 3;
            return true;
        }
        if (lead < 0xF5) {
            if (end - src < 4 || !continuation(1) || !continuation(2) || !continuation(3))
                return false;
            if ((lead == 0xF0 && src[1] < 0x90) || (lead == 0xF4 && src[1] >= 0x90))
                return false;  // overlong, or above U+10FFFF
            const char32_t codePoint = ((lead & 0x07u) << 18) | ((src[1] & 0x3Fu) << 12) |
                                       ((src[2] & 0x3Fu) << 6) | (src[3] & 0x3Fu);
            *dst++ = char16_t(0xD800 + ((codePoint - 0x10000) >> 10));
            *dst++ = char16_t(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
            src += 4;
            return true;
        }
        return false;
    };
#ifdef __SSE2__
    // Sixteen bytes at a time; a non-ASCII character among them is decoded on the spot and the next
    // sixteen start right behind it. Writing sixteen units is safe even when fewer are kept: dst never
    // runs ahead of src, and at least sixteen bytes of input remain.
    const __m128i zero = _mm_setzero_si128();
    while (end - src >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(bytes, zero));
        const unsigned nonAscii = unsigned(_mm_movemask_epi8(bytes));
        if (nonAscii == 0) {
            src += 16;
            dst += 16;
            continue;
        }
        const int ascii = __builtin_ctz(nonAscii);
        src += ascii;
        dst += ascii;
        if (!decodeMultiByte())
            return -1;
    }
#endif
    // The short rest of a line: eight ASCII bytes at a time where possible.
    while (src < end) {
        quint64 word = 0x8080808080808080ULL;
        if (end - src >= 8)
            std::memcpy(&word, src, 8);
        if ((word & 0x8080808080808080ULL) == 0) {
            for (int i = 0; i < 8; ++i)
                dst[i] = src[i];
            src += 8;
            dst += 8;
        } else if (*src < 0x80) {
            *dst++ = *src++;
        } else if (!decodeMultiByte()) {
            return -1;
        }
    }
    return dst - Out;
}

TBLFileCoding CodingFromStart(const QByteArray& Start) {
    if (Start.startsWith(Utf8Bom))
        return TBLFileCoding::fcUTF8BOM;
    if (Start.startsWith(Utf16LeBom))
        return TBLFileCoding::fcUnicodeLittleEndian;
    if (Start.startsWith(Utf16BeBom))
        return TBLFileCoding::fcUnicodeBigEndian;
    return TBLFileCoding::fcAnsi;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// TUnicodeFileReader

TUnicodeFileReader::TUnicodeFileReader()
    // Stateless: a line that ends inside a multi-byte sequence is an error, not a sequence to be
    // continued by the next line. ConvertInitialBom: a U+FEFF at a line start is text, not a mark.
    : FUtf8Decoder(QStringConverter::Utf8,
                   QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom) {}

TUnicodeFileReader::TUnicodeFileReader(const QString& FileName, bool ReadNormalFileAsUtf8)
    : TUnicodeFileReader() {
    Open(FileName);
    if (ReadNormalFileAsUtf8 && charSize == 1 && !FIsUTF8)
        FIsUTF8 = true;
}

TUnicodeFileReader::~TUnicodeFileReader() = default;

void TUnicodeFileReader::Open(const QString& FileName) {
    Close();
    auto file = std::make_unique<QFile>(FileName);
    // Buffered: QFile fetches 16 KiB per system call and our 1024-byte blocks are copied from there.
    if (!file->open(QIODevice::ReadOnly))
        throw EStreamError(FileErrorText("Cannot open file", FileName, file->errorString()));

    FReadLine = 0;
    FReadErrors.clear();
    charSize = 1;
    MSB_FIRST = false;
    FIsUTF8 = false;
    const QByteArray start = file->read(3);
    qint64 contentStart = 0;
    if (start.size() >= 3 && start.startsWith(Utf8Bom)) {
        FIsUTF8 = true;
        contentStart = 3;
    } else if (start.startsWith(Utf16LeBom)) {
        charSize = 2;
        contentStart = 2;
    } else if (start.startsWith(Utf16BeBom)) {
        charSize = 2;
        MSB_FIRST = true;
        contentStart = 2;
    }
    if (!file->seek(contentStart))
        throw EStreamError(FileErrorText("Cannot read file", FileName, file->errorString()));
    FStream = std::move(file);
    FBlockPos = contentStart;
    FBlockLen = 0;
    FBlockIndex = 0;
    FKnownSize = 0;
}

void TUnicodeFileReader::Close() {
    FStream.reset();
    FBlockPos = 0;
    FBlockLen = 0;
    FBlockIndex = 0;
    FKnownSize = 0;
}

bool TUnicodeFileReader::Eof() {
    if (!FStream)
        return true;
    const qint64 position = FBlockPos + FBlockIndex;
    // A log file may grow while it is read: the size is asked again once the known one is reached.
    if (FKnownSize - position >= charSize)
        return false;
    FKnownSize = FStream->size();
    // Less than one whole character left (the odd last byte of a UTF-16 file) counts as the end.
    return FKnownSize - position < charSize;
}

QFile* TUnicodeFileReader::Stream() {
    if (FStream) {
        // Give the stream the position the caller expects: just after the last line read.
        const qint64 position = FBlockPos + FBlockIndex;
        if (FStream->pos() != position)
            FStream->seek(position);
        FBlockPos = FStream->pos();
        FBlockLen = 0;
        FBlockIndex = 0;
    }
    return FStream.get();
}

bool TUnicodeFileReader::FillBlock() {
    FBlockPos = FStream->pos();
    const qint64 count = FStream->read(FBlock, BlockSize);
    if (count < 0)
        throw EStreamError(FileErrorText("Cannot read file", FStream->fileName(), FStream->errorString()));
    FBlockLen = int(count);
    FBlockIndex = 0;
    FKnownSize = std::max(FKnownSize, FBlockPos + count);
    if (charSize == 2) {
        if (MSB_FIRST)
            qFromBigEndian<char16_t>(FBlock, FBlockLen / 2, FUnits);
        else
            qFromLittleEndian<char16_t>(FBlock, FBlockLen / 2, FUnits);
    }
    return count > 0;
}

QByteArrayView TUnicodeFileReader::ReadLineBytes() {
    FLineBytes.clear();
    const bool plain = typeid(*this) == typeid(TUnicodeFileReader);
    for (;;) {
        if (FBlockIndex >= FBlockLen && !FillBlock())
            return QByteArrayView(FLineBytes.data(), qsizetype(FLineBytes.size()));
        const char* begin = FBlock + FBlockIndex;
        const char* end = FBlock + FBlockLen;
        if (plain) {
            // Most lines lie wholly inside the block: hand them out from there without copying.
            if (FLineBytes.empty()) {
                const char* next = end;
                if (const auto line = LineInBlock(begin, next, FSupportUnixLineBreak)) {
                    FBlockIndex = int(next - FBlock);
                    return QByteArrayView(line->data(), qsizetype(line->size()));
                }
            }
            const char* pos = begin;
            const bool ended = ScanPlain(FLineBytes, pos, end, FSupportUnixLineBreak);
            FBlockIndex = int(pos - FBlock);
            if (ended)
                return QByteArrayView(FLineBytes.data(), qsizetype(FLineBytes.size()));
            continue;
        }
        for (const char* pos = begin; pos < end; ++pos) {
            const char current = *pos;
            if (SkipCharA(current))
                continue;
            const char previous = FLineBytes.empty() ? '\0' : FLineBytes.back();
            if (IsLineEndA(previous, current)) {
                if (current == '\n' && previous == '\r')
                    FLineBytes.pop_back();
                FBlockIndex = int(pos - FBlock) + 1;
                return QByteArrayView(FLineBytes.data(), qsizetype(FLineBytes.size()));
            }
            FLineBytes.push_back(MapCharA(current));
        }
        FBlockIndex = FBlockLen;
    }
}

QStringView TUnicodeFileReader::ReadLineUnits() {
    FLineUnits.clear();
    const bool plain = typeid(*this) == typeid(TUnicodeFileReader);
    const auto collected = [this] { return QStringView(FLineUnits.data(), qsizetype(FLineUnits.size())); };
    for (;;) {
        // Fewer than two bytes left: at most the odd last byte of the file, which is no character.
        if (FBlockLen - FBlockIndex < 2) {
            FBlockIndex = FBlockLen;
            if (!FillBlock())
                return collected();
            continue;
        }
        const char16_t* begin = FUnits + FBlockIndex / 2;
        const char16_t* end = FUnits + FBlockLen / 2;
        if (plain) {
            if (FLineUnits.empty()) {
                const char16_t* next = end;
                if (const auto line = LineInBlock(begin, next, FSupportUnixLineBreak)) {
                    FBlockIndex = int(next - FUnits) * 2;
                    return QStringView(line->data(), qsizetype(line->size()));
                }
            }
            const char16_t* pos = begin;
            const bool ended = ScanPlain(FLineUnits, pos, end, FSupportUnixLineBreak);
            FBlockIndex = int(pos - FUnits) * 2;
            if (ended)
                return collected();
            continue;
        }
        for (const char16_t* pos = begin; pos < end; ++pos) {
            const char16_t current = *pos;
            if (SkipCharW(current))
                continue;
            const char16_t previous = FLineUnits.empty() ? u'\0' : FLineUnits.back();
            if (IsLineEndW(previous, current)) {
                if (current == LF && previous == CR)
                    FLineUnits.pop_back();
                FBlockIndex = int(pos - FUnits) * 2 + 2;
                return collected();
            }
            FLineUnits.push_back(MapCharW(current));
        }
        FBlockIndex = int(end - FUnits) * 2;
    }
}

QString TUnicodeFileReader::DecodeLineBytes(QByteArrayView Bytes) {
    const QByteArrayView bytes = Bytes;
    QString result;
    if (FIsUTF8) {
        result = QString(bytes.size(), Qt::Uninitialized);  // one exact allocation; UTF-16 is never longer
        const qsizetype units = DecodeValidUtf8(reinterpret_cast<const uchar*>(bytes.data()), bytes.size(),
                                                reinterpret_cast<char16_t*>(result.data()));
        if (units >= 0) {
            result.truncate(units);
            return result;
        }
        FUtf8Decoder.resetState();
        result = FUtf8Decoder.decode(bytes);
        // Any invalid or cut-off sequence fails the whole line, not only a line that decodes to nothing.
        if (FUtf8Decoder.hasError()) {
            result.clear();
            FReadErrors.append(QStringLiteral("%1 in Line %2: [%3]")
                                   .arg(QStringLiteral("Error in UTF8-Coding"), QString::number(FReadLine + 1),
                                        Platform::DecodeAnsi(bytes)));
        }
    } else if (FAsciiType == TASCIIType::atOEM) {
        result = Platform::DecodeAnsi(Platform::OemToAnsi(bytes));
    } else {
        // atDefault and at1252 are the same table here: the ANSI code page is Windows-1252.
        result = Platform::DecodeAnsi(bytes);
    }
    return result;
}

QString TUnicodeFileReader::ReadLine() {
    QString result;
    if (FStream) {
        if (charSize == 2) {
            result = ReadLineUnits().toString();
            ReleaseLongLine(FLineUnits);
        } else {
            result = DecodeLineBytes(ReadLineBytes());
            ReleaseLongLine(FLineBytes);
        }
    }
    ++FReadLine;
    return result;
}

bool TUnicodeFileReader::IsLineEndA(char Previous, char Current) const {
    return Current == '\n' && (FSupportUnixLineBreak || Previous == '\r');
}

bool TUnicodeFileReader::IsLineEndW(char16_t Previous, char16_t Current) const {
    return Current == LF && (FSupportUnixLineBreak || Previous == CR);
}

bool TUnicodeFileReader::SkipCharA(char Value) const {
    return Value == '\0';
}

bool TUnicodeFileReader::SkipCharW(char16_t Value) const {
    return Value == u'\0';
}

char TUnicodeFileReader::MapCharA(char Value) const {
    return Value;
}

char16_t TUnicodeFileReader::MapCharW(char16_t Value) const {
    return Value;
}

// ---------------------------------------------------------------------------------------------------
// TUnicodeFileWriter

TUnicodeFileWriter::TUnicodeFileWriter() = default;

TUnicodeFileWriter::TUnicodeFileWriter(const QString& FileName, bool Unicode, bool Utf8, bool BigEndian,
                                       bool Append) {
    FUnicode = Unicode;
    FUTF8 = Utf8;
    FBigEndian = BigEndian;
    Open(FileName, Append);
}

TUnicodeFileWriter::TUnicodeFileWriter(const QString& FileName, TBLFileCoding FileCoding) {
    SetFileCoding(FileCoding);
    Open(FileName, false);
}

TUnicodeFileWriter::~TUnicodeFileWriter() = default;

void TUnicodeFileWriter::SetFileCoding(TBLFileCoding FileCoding) {
    using enum TBLFileCoding;
    FUnicode = FileCoding != fcAnsi;
    FUTF8 = FileCoding == fcUTF8NoBOM || FileCoding == fcUTF8BOM;
    FWithUTF8BOM = FileCoding == fcUTF8BOM;
    FBigEndian = FileCoding == fcUnicodeBigEndian;
}

TBLFileCoding TUnicodeFileWriter::FileCoding() const {
    using enum TBLFileCoding;
    if (!FUnicode)
        return fcAnsi;
    if (FUTF8)
        return FWithUTF8BOM ? fcUTF8BOM : fcUTF8NoBOM;
    return FBigEndian ? fcUnicodeBigEndian : fcUnicodeLittleEndian;
}

void TUnicodeFileWriter::SetLineSeparator(const QString& Value) {
    FLineSeparator = Value;
    FLineSeparatorAnsi = Platform::EncodeAnsi(Value);
}

void TUnicodeFileWriter::Open(const QString& FileName, bool Append) {
    Close();
    // A folder that cannot be created shows up as the open error below.
    QDir().mkpath(QFileInfo(FileName).absolutePath());
    auto file = std::make_unique<QFile>(FileName);
    // Unbuffered: every Write() reaches the file at once, so a crash loses nothing already written.
    const bool append = Append && file->exists();
    if (append) {
        if (!file->open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
            throw EStreamError(FileErrorText("Cannot open file", FileName, file->errorString()));
        // Append mode may have placed the position at the end already.
        if (!file->seek(0))
            throw EStreamError(FileErrorText("Cannot open file", FileName, file->errorString()));
        SetFileCoding(CodingFromStart(file->read(3)));
        if (!file->seek(file->size()))
            throw EStreamError(FileErrorText("Cannot open file", FileName, file->errorString()));
    } else if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        throw EStreamError(FileErrorText("Cannot create file", FileName, file->errorString()));
    }
    FStream = std::move(file);
    if (append)
        return;
    if (FUnicode && !FUTF8)
        WriteBytes(FBigEndian ? Utf16BeBom : Utf16LeBom);
    else if (FUnicode && FWithUTF8BOM)
        WriteBytes(Utf8Bom);
}

void TUnicodeFileWriter::Close() {
    FStream.reset();
}

QByteArray TUnicodeFileWriter::Encode(const QString& Value, bool WithSeparator) const {
    QByteArray bytes;
    if (FUnicode && FUTF8) {
        bytes = Value.toUtf8();
    } else if (FUnicode) {
        const QString text = WithSeparator ? Value + FLineSeparator : Value;
        bytes.resize(text.size() * 2);
        if (FBigEndian)
            qToBigEndian<char16_t>(text.utf16(), text.size(), bytes.data());
        else
            qToLittleEndian<char16_t>(text.utf16(), text.size(), bytes.data());
        return bytes;
    } else if (FIsASCII) {
        bytes = Platform::AnsiToOem(Platform::EncodeAnsi(Value));
    } else {
        bytes = Platform::EncodeAnsi(Value);
    }
    if (WithSeparator)
        bytes += FLineSeparatorAnsi;
    return bytes;
}

void TUnicodeFileWriter::WriteBytes(const QByteArray& Bytes) {
    if (!FStream)
        throw EStreamError(QStringLiteral("Stream write error: no file is open"));
    if (FStream->write(Bytes) != Bytes.size())
        throw EStreamError(FileErrorText("Stream write error", FStream->fileName(), FStream->errorString()));
}

void TUnicodeFileWriter::Write(const QString& Value) {
    if (!Value.isEmpty())
        WriteBytes(Encode(Value, false));
}

void TUnicodeFileWriter::WriteLn(const QString& Value) {
    WriteBytes(Encode(Value, true));
}

void TUnicodeFileWriter::WriteLines(const QStringList& Strings) {
    for (const QString& line : Strings)
        WriteLn(line);
}

void WriteTextFile(const QString& FileName, const QString& Text, TBLFileCoding FileCoding) {
    TUnicodeFileWriter writer(FileName, FileCoding);
    writer.Write(Text);
}

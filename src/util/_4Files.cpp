#include "util/_4Files.h"

#include "platform/CodePages.h"
#include "util/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <typeinfo>

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

template <typename TChar>
const TChar* FindChar(const TChar* Begin, const TChar* End, TChar Value) {
    if constexpr (sizeof(TChar) == 1) {
        const void* found = std::memchr(Begin, Value, size_t(End - Begin));
        return found ? static_cast<const TChar*>(found) : End;
    } else {
        return std::find(Begin, End, Value);
    }
}

// Appends [Begin, End) without its characters of code 0.
template <typename TChar, typename TString>
void AppendWithoutNul(TString& Line, const TChar* Begin, const TChar* End) {
    for (;;) {
        const TChar* zero = FindChar(Begin, End, TChar(0));
        Line.append(Begin, zero);
        if (zero == End)
            return;
        Begin = zero + 1;
    }
}

// The base class's rules applied to a whole run of characters at once: collects the characters up to
// the line end into Line and moves Pos behind the line end. Answers whether the line ended; when not,
// Pos is End and the line goes on in the next block.
template <typename TChar, typename TString>
bool ScanPlain(TString& Line, const TChar*& Pos, const TChar* End, bool SupportUnixLineBreak) {
    for (;;) {
        const TChar* lineFeed = FindChar(Pos, End, TChar(LF));
        AppendWithoutNul(Line, Pos, lineFeed);
        if (lineFeed == End) {
            Pos = End;
            return false;
        }
        Pos = lineFeed + 1;
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

template <typename TString>
void ReleaseLongLine(TString& Line) {
    if (Line.capacity() > KeptLineCapacity)
        TString().swap(Line);
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
    // Our own blocks do the buffering; QFile's buffer would only copy every byte once more.
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
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

bool TUnicodeFileReader::ReadLineBytes() {
    FLineBytes.clear();
    const bool plain = typeid(*this) == typeid(TUnicodeFileReader);
    for (;;) {
        if (FBlockIndex >= FBlockLen && !FillBlock())
            return false;
        const char* begin = FBlock + FBlockIndex;
        const char* end = FBlock + FBlockLen;
        if (plain) {
            const char* pos = begin;
            const bool ended = ScanPlain(FLineBytes, pos, end, FSupportUnixLineBreak);
            FBlockIndex = int(pos - FBlock);
            if (ended)
                return true;
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
                return true;
            }
            FLineBytes.push_back(MapCharA(current));
        }
        FBlockIndex = FBlockLen;
    }
}

bool TUnicodeFileReader::ReadLineUnits() {
    FLineUnits.clear();
    const bool plain = typeid(*this) == typeid(TUnicodeFileReader);
    for (;;) {
        // Fewer than two bytes left: at most the odd last byte of the file, which is no character.
        if (FBlockLen - FBlockIndex < 2) {
            FBlockIndex = FBlockLen;
            if (!FillBlock())
                return false;
            continue;
        }
        const char16_t* begin = FUnits + FBlockIndex / 2;
        const char16_t* end = FUnits + FBlockLen / 2;
        if (plain) {
            const char16_t* pos = begin;
            const bool ended = ScanPlain(FLineUnits, pos, end, FSupportUnixLineBreak);
            FBlockIndex = int(pos - FUnits) * 2;
            if (ended)
                return true;
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
                return true;
            }
            FLineUnits.push_back(MapCharW(current));
        }
        FBlockIndex = int(end - FUnits) * 2;
    }
}

QString TUnicodeFileReader::DecodeLineBytes() {
    const QByteArrayView bytes(FLineBytes.data(), qsizetype(FLineBytes.size()));
    QString result;
    if (FIsUTF8) {
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
            ReadLineUnits();
            result = QString(reinterpret_cast<const QChar*>(FLineUnits.data()), qsizetype(FLineUnits.size()));
            ReleaseLongLine(FLineUnits);
        } else {
            ReadLineBytes();
            result = DecodeLineBytes();
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

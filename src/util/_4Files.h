// _4Files.h: line-by-line reading and writing of text files in the encodings the system meets: the
// ANSI code page (Windows-1252), the OEM code page (850), UTF-8 with or without byte-order mark and
// UTF-16 in either byte order. The reader detects the encoding from the byte-order mark; the writer
// writes a chosen encoding and, appending, continues in the one the file announces.
// Objects belong to one thread at a time. Open and write failures raise EStreamError naming the file;
// undecodable UTF-8 lines do not raise but are collected in ReadErrors().
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <string>

class QFile;

enum class TBLFileCoding : int {
    fcAnsi = 0,
    fcUTF8NoBOM = 1,
    fcUTF8BOM = 2,
    fcUnicodeBigEndian = 3,
    fcUnicodeLittleEndian = 4,
};

// How 8-bit text without UTF-8 marking is decoded.
enum class TASCIIType : int {
    atDefault = 0,  // the ANSI code page
    atOEM = 1,      // the OEM code page, converted to ANSI first
    at1252 = 2,     // Windows-1252
};

class TUnicodeFileReader {
public:
    TUnicodeFileReader();
    // Open(FileName); with ReadNormalFileAsUtf8, an 8-bit file without UTF-8 mark is read as UTF-8.
    TUnicodeFileReader(const QString& FileName, bool ReadNormalFileAsUtf8);
    virtual ~TUnicodeFileReader();
    TUnicodeFileReader(const TUnicodeFileReader&) = delete;
    TUnicodeFileReader& operator=(const TUnicodeFileReader&) = delete;

    // Closes a previous file, opens this one for reading and detects its encoding from the byte-order
    // mark. Starts the line count and ReadErrors() afresh. A file that cannot be opened raises
    // EStreamError.
    void Open(const QString& FileName);
    void Close();
    // True when no file is open or every byte has been read.
    bool Eof();

    // The next line without its line end; "" at the end of the file. Characters with code 0 are
    // dropped. With SupportUnixLineBreak() a line ends at LF, else only at CR LF; the character that
    // ends the line is not part of it, nor a CR directly before an LF. Raises EStreamError when the
    // file cannot be read.
    virtual QString ReadLine();

    // One entry per line whose UTF-8 could not be decoded: "Error in UTF8-Coding in Line <n>: [<bytes>]".
    const QStringList& ReadErrors() const { return FReadErrors; }
    bool SupportUnixLineBreak() const { return FSupportUnixLineBreak; }
    void SetSupportUnixLineBreak(bool Value) { FSupportUnixLineBreak = Value; }
    bool isUnicode() const { return charSize == 2; }
    bool isUtf8() const { return FIsUTF8; }
    bool isASCII() const { return FAsciiType == TASCIIType::atOEM; }
    void SetIsASCII(bool Value) { FAsciiType = Value ? TASCIIType::atOEM : TASCIIType::atDefault; }
    TASCIIType AsciiType() const { return FAsciiType; }
    void SetAsciiType(TASCIIType Value) { FAsciiType = Value; }
    // The open file or nullptr. Its position is moved to just after the last line read before it is
    // handed out, so a caller may look at or move it; the next ReadLine() goes on from there.
    QFile* Stream();

protected:
    // The hooks ReadLine() calls for every character, 8-bit (A) and 16-bit (W) files. Previous is the
    // character kept before Current in this line (0 at its start); a line-end test that answers true
    // ends the line at Current. The base class's hooks implement the rules above; ReadLine() takes a
    // faster route with the same result as long as no descendant overrides them.
    virtual bool IsLineEndA(char Previous, char Current) const;
    virtual bool IsLineEndW(char16_t Previous, char16_t Current) const;
    // True drops the character.
    virtual bool SkipCharA(char Value) const;
    virtual bool SkipCharW(char16_t Value) const;
    // The character to keep in the line; both answer it unchanged.
    virtual char MapCharA(char Value) const;
    virtual char16_t MapCharW(char16_t Value) const;

private:
    bool FillBlock();
    QByteArrayView ReadLineBytes();  // the line's bytes, in FBlock or in FLineBytes
    QStringView ReadLineUnits();     // the line's units, in FUnits or in FLineUnits
    QString DecodeLineBytes(QByteArrayView Bytes);

    QStringList FReadErrors;
    int FReadLine = 0;                 // lines read so far
    int charSize = 1;                  // 1 for 8-bit files, 2 for UTF-16
    bool MSB_FIRST = false;            // UTF-16 big-endian
    bool FIsUTF8 = false;
    TASCIIType FAsciiType = TASCIIType::atDefault;
    bool FSupportUnixLineBreak = true;
    std::unique_ptr<QFile> FStream;

    // The file is read in blocks of at most BlockSize bytes; the next line starts at FBlockIndex, so a
    // line that ends inside the block moves the reading position without another read.
    static constexpr int BlockSize = 1024;
    char FBlock[BlockSize] = {};
    char16_t FUnits[BlockSize / 2] = {};  // FBlock as 16-bit units in host order (UTF-16 files)
    qint64 FBlockPos = 0;      // file offset of FBlock[0]
    int FBlockLen = 0;         // valid bytes in FBlock
    int FBlockIndex = 0;       // next byte to read in FBlock
    qint64 FKnownSize = 0;     // the file size when last asked; Eof() asks again only when it is reached
    std::string FLineBytes;    // the current 8-bit line; its capacity is reused
    std::u16string FLineUnits; // the current 16-bit line; its capacity is reused
    QStringDecoder FUtf8Decoder;
};

class TUnicodeFileWriter {
public:
    // UTF-16 little-endian with byte-order mark, line separator CR LF; no file.
    TUnicodeFileWriter();
    TUnicodeFileWriter(const QString& FileName, bool Unicode, bool Utf8, bool BigEndian, bool Append);
    TUnicodeFileWriter(const QString& FileName, TBLFileCoding FileCoding);
    ~TUnicodeFileWriter();
    TUnicodeFileWriter(const TUnicodeFileWriter&) = delete;
    TUnicodeFileWriter& operator=(const TUnicodeFileWriter&) = delete;

    // Closes a previous file and creates the missing folders. Appending to an existing file continues
    // in the encoding its byte-order mark announces (none: ANSI) at its end; otherwise the file is
    // created anew and starts with the byte-order mark of the current encoding. Raises EStreamError.
    void Open(const QString& FileName, bool Append);
    // Each call is one write to the file; nothing is held back. Raise EStreamError on failure.
    void Write(const QString& Value);
    void WriteLn(const QString& Value);
    void WriteLines(const QStringList& Strings);
    void Close();

    const QString& LineSeparator() const { return FLineSeparator; }
    void SetLineSeparator(const QString& Value);
    // ANSI text written through the OEM code page.
    bool IsASCII() const { return FIsASCII; }
    void SetIsASCII(bool Value) { FIsASCII = Value; }
    TBLFileCoding FileCoding() const;
    QFile* Stream() const { return FStream.get(); }

private:
    void SetFileCoding(TBLFileCoding FileCoding);
    QByteArray Encode(const QString& Value, bool WithSeparator) const;
    void WriteBytes(const QByteArray& Bytes);

    std::unique_ptr<QFile> FStream;
    bool FBigEndian = false;
    bool FUTF8 = false;
    bool FUnicode = true;
    bool FWithUTF8BOM = true;
    bool FIsASCII = false;
    QString FLineSeparator = QStringLiteral("\r\n");
    QByteArray FLineSeparatorAnsi = QByteArrayLiteral("\r\n");
};

// Creates FileName anew in FileCoding and writes Text without a line separator; an empty Text leaves
// only the byte-order mark (nothing for fcAnsi). Raises EStreamError.
void WriteTextFile(const QString& FileName, const QString& Text, TBLFileCoding FileCoding);

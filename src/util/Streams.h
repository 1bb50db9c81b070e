// Streams.h: the toolkit's byte streams: the abstract TStream, TMemoryStream (one growing block of
// memory with a capacity-growth hook) and TFileStream over QFile. Owned by whoever creates them; one
// thread at a time. ReadBuffer/WriteBuffer and failed opens or allocations raise EStreamError; file
// errors name the file.
#pragma once
#include <QFile>
#include <QString>
#include <QtGlobal>

enum class TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream {
public:
    virtual ~TStream() = default;

    // Return the number of bytes moved, which may be less than Count (end of data, a full disk).
    virtual qint64 Read(void* Buffer, qint64 Count) = 0;
    virtual qint64 Write(const void* Buffer, qint64 Count) = 0;
    // Returns the new position.
    virtual qint64 Seek(qint64 Offset, TSeekOrigin Origin) = 0;
    virtual qint64 Size() const = 0;
    virtual void SetSize(qint64 NewSize) = 0;
    virtual qint64 Position() const = 0;
    void SetPosition(qint64 Pos) { Seek(Pos, TSeekOrigin::soBeginning); }

    // All or nothing: raise EStreamError ("Stream read error" / "Stream write error") when fewer
    // than Count bytes could be moved.
    void ReadBuffer(void* Buffer, qint64 Count);
    void WriteBuffer(const void* Buffer, qint64 Count);
    // Copies Count bytes from Source's position on; Count 0 copies the whole of Source from its start.
    qint64 CopyFrom(TStream& Source, qint64 Count);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    qint64 Read(void* Buffer, qint64 Count) override;
    // Writing past the end grows the stream; a gap left by seeking beyond the end reads as zeros.
    qint64 Write(const void* Buffer, qint64 Count) override;
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override;
    qint64 Size() const override { return FSize; }
    // Bytes added by growing read as zeros.
    void SetSize(qint64 NewSize) override;
    qint64 Position() const override { return FPosition; }

    void Clear();
    // Replace the content with all of Stream (from its start) / write all content to Stream.
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;
    void LoadFromFile(const QString& FileName);
    void SaveToFile(const QString& FileName) const;

    char* Memory() const { return FMemory; }
    qint64 Capacity() const { return FCapacity; }

protected:
    void SetCapacity(qint64 NewCapacity);
    // The growth hook: decides the capacity actually allocated (it may round NewCapacity up) and returns
    // the block, obtained through ReallocMemory. The toolkit rounds to 8192 bytes unless the request
    // equals the current size.
    virtual char* Realloc(qint64& NewCapacity);
    // Resizes the block to NewCapacity bytes (0 frees it); raises EStreamError "Out of memory while
    // expanding memory stream" when the memory cannot be obtained.
    char* ReallocMemory(qint64 NewCapacity);

private:
    char* FMemory = nullptr;  // std::malloc'ed, so the destructor can free it without the virtual hook
    qint64 FSize = 0;
    qint64 FPosition = 0;
    qint64 FCapacity = 0;
};

// Open modes; one of the fmOpen values, or fmCreate. The toolkit's sharing flags are accepted and not
// emulated: Linux files have no sharing modes (cross-process exclusion uses the platform's locks).
constexpr quint16 fmOpenRead = 0x0000;
constexpr quint16 fmOpenWrite = 0x0001;
constexpr quint16 fmOpenReadWrite = 0x0002;
constexpr quint16 fmShareExclusive = 0x0010;
constexpr quint16 fmShareDenyWrite = 0x0020;
constexpr quint16 fmShareDenyRead = 0x0030;
constexpr quint16 fmShareDenyNone = 0x0040;
constexpr quint16 fmCreate = 0xFF00;  // create or truncate, then read and write

class TFileStream : public TStream {
public:
    // Raises EStreamError 'Cannot create file "<name>". <reason>' or 'Cannot open file ...'.
    TFileStream(const QString& FileName, quint16 Mode);
    ~TFileStream() override = default;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    qint64 Read(void* Buffer, qint64 Count) override;
    qint64 Write(const void* Buffer, qint64 Count) override;
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override;
    qint64 Size() const override { return FFile.size(); }
    void SetSize(qint64 NewSize) override;
    qint64 Position() const override { return FFile.pos(); }

    const QString& FileName() const { return FFileName; }

private:
    QString FFileName;
    mutable QFile FFile;
};

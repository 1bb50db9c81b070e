#include "util/Streams.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "util/Exception.h"

namespace {

constexpr qint64 MemoryDelta = 0x2000;  // the toolkit's growth step; a power of two
constexpr qint64 CopyBufferSize = 0xF000;

}  // namespace

void TStream::ReadBuffer(void* Buffer, qint64 Count) {
    if (Count != 0 && Read(Buffer, Count) != Count)
        throw EStreamError(QStringLiteral("Stream read error"));
}

void TStream::WriteBuffer(const void* Buffer, qint64 Count) {
    if (Count != 0 && Write(Buffer, Count) != Count)
        throw EStreamError(QStringLiteral("Stream write error"));
}

qint64 TStream::CopyFrom(TStream& Source, qint64 Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    const qint64 result = Count;
    QByteArray buffer(static_cast<qsizetype>(qMin(Count, CopyBufferSize)), Qt::Uninitialized);
    while (Count > 0) {
        const qint64 n = qMin(Count, static_cast<qint64>(buffer.size()));
        Source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.constData(), n);
        Count -= n;
    }
    return result;
}

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

qint64 TMemoryStream::Read(void* Buffer, qint64 Count) {
    if (FPosition < 0 || Count <= 0)
        return 0;
    qint64 n = FSize - FPosition;
    if (n <= 0)
        return 0;
    if (n > Count)
        n = Count;
    std::memcpy(Buffer, FMemory + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

qint64 TMemoryStream::Write(const void* Buffer, qint64 Count) {
    if (FPosition < 0 || Count <= 0 || Count > std::numeric_limits<qint64>::max() - FPosition)
        return 0;
    const qint64 end = FPosition + Count;
    if (end > FSize) {
        if (end > FCapacity)
            SetCapacity(end);
        if (FPosition > FSize)
            std::memset(FMemory + FSize, 0, static_cast<size_t>(FPosition - FSize));
        FSize = end;
    }
    std::memmove(FMemory + FPosition, Buffer, static_cast<size_t>(Count));
    FPosition = end;
    return Count;
}

qint64 TMemoryStream::Seek(qint64 Offset, TSeekOrigin Origin) {
    switch (Origin) {
    case TSeekOrigin::soBeginning:
        FPosition = Offset;
        break;
    case TSeekOrigin::soCurrent:
        FPosition += Offset;
        break;
    case TSeekOrigin::soEnd:
        FPosition = FSize + Offset;
        break;
    }
    return FPosition;
}

void TMemoryStream::SetSize(qint64 NewSize) {
    if (NewSize < 0)
        NewSize = 0;
    const qint64 oldPosition = FPosition;
    SetCapacity(NewSize);
    if (NewSize > FSize)
        std::memset(FMemory + FSize, 0, static_cast<size_t>(NewSize - FSize));
    FSize = NewSize;
    if (oldPosition > NewSize)
        Seek(0, TSeekOrigin::soEnd);
}

void TMemoryStream::SetCapacity(qint64 NewCapacity) {
    if (NewCapacity < 0)
        NewCapacity = 0;
    char* memory = Realloc(NewCapacity);
    FMemory = memory;
    FCapacity = NewCapacity;
    if (FSize > FCapacity)
        FSize = FCapacity;
}

char* TMemoryStream::Realloc(qint64& NewCapacity) {
    if (NewCapacity > 0 && NewCapacity != FSize && NewCapacity <= std::numeric_limits<qint64>::max() - MemoryDelta)
        NewCapacity = (NewCapacity + (MemoryDelta - 1)) & ~(MemoryDelta - 1);
    return ReallocMemory(NewCapacity);
}

char* TMemoryStream::ReallocMemory(qint64 NewCapacity) {
    if (NewCapacity == FCapacity)
        return FMemory;
    if (NewCapacity == 0) {
        std::free(FMemory);
        return nullptr;
    }
    void* memory = nullptr;
    if (static_cast<quint64>(NewCapacity) <= std::numeric_limits<size_t>::max())
        memory = std::realloc(FMemory, static_cast<size_t>(NewCapacity));
    if (!memory)
        throw EStreamError(QStringLiteral("Out of memory while expanding memory stream"));
    return static_cast<char*>(memory);
}

void TMemoryStream::Clear() {
    SetCapacity(0);
    FSize = 0;
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
    Stream.SetPosition(0);
    const qint64 count = Stream.Size();
    SetSize(count);
    if (count != 0)
        Stream.ReadBuffer(FMemory, count);
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& Stream) const {
    if (FSize != 0)
        Stream.WriteBuffer(FMemory, FSize);
}

void TMemoryStream::LoadFromFile(const QString& FileName) {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TMemoryStream::SaveToFile(const QString& FileName) const {
    TFileStream stream(FileName, fmCreate);
    SaveToStream(stream);
}

TFileStream::TFileStream(const QString& FileName, quint16 Mode) : FFileName(FileName), FFile(FileName) {
    if (Mode == fmCreate) {
        if (!FFile.open(QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered))
            throw EStreamError(QStringLiteral("Cannot create file \"%1\". %2").arg(FileName, FFile.errorString()));
        return;
    }
    QIODevice::OpenMode openMode = QIODevice::ReadOnly;
    switch (Mode & 0x0003) {
    case fmOpenWrite:  // Qt cuts a file opened write-only; the toolkit keeps its content
    case fmOpenReadWrite:
        openMode = QIODevice::ReadWrite;
        break;
    default:
        break;
    }
    // Opening for writing must neither create the file nor cut it: only fmCreate does that.
    if (!FFile.open(openMode | QIODevice::Unbuffered | QIODevice::ExistingOnly))
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, FFile.errorString()));
}

qint64 TFileStream::Read(void* Buffer, qint64 Count) {
    if (Count <= 0)
        return 0;
    const qint64 n = FFile.read(static_cast<char*>(Buffer), Count);
    return n < 0 ? 0 : n;
}

qint64 TFileStream::Write(const void* Buffer, qint64 Count) {
    if (Count <= 0)
        return 0;
    const qint64 n = FFile.write(static_cast<const char*>(Buffer), Count);
    return n < 0 ? 0 : n;
}

qint64 TFileStream::Seek(qint64 Offset, TSeekOrigin Origin) {
    qint64 target = Offset;
    if (Origin == TSeekOrigin::soCurrent)
        target += FFile.pos();
    else if (Origin == TSeekOrigin::soEnd)
        target += FFile.size();
    if (target >= 0)
        FFile.seek(target);
    return FFile.pos();
}

void TFileStream::SetSize(qint64 NewSize) {
    if (!FFile.resize(NewSize))
        throw EStreamError(QStringLiteral("Cannot write file \"%1\". %2").arg(FFileName, FFile.errorString()));
}

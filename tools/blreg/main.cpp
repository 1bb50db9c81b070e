// blreg: the command-line editor of the registry store (see platform/Registry.h).
// Exit status: 0 success, 1 key or value missing, 2 usage error, 3 the store failed.
#include "platform/Registry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

using namespace Platform;

namespace {

constexpr int ExitOk = 0;
constexpr int ExitMissing = 1;
constexpr int ExitUsage = 2;
constexpr int ExitStoreFailed = 3;

constexpr char UsageText[] =
    "Usage: blreg COMMAND KEY [ARGUMENTS]\n"
    "Reads and writes the registry of this system.\n"
    "\n"
    "Commands:\n"
    "  get KEY NAME                       print the data of a value\n"
    "  set KEY NAME VALUE [--type TYPE]   write a value, creating KEY when needed;\n"
    "                                     TYPE is sz (default), expand_sz or dword\n"
    "  delete KEY [NAME]                  delete a value, or KEY with all its subkeys\n"
    "  list KEY                           print the subkeys and values of KEY\n"
    "  create KEY                         create KEY and its missing parents\n"
    "  --help                             print this text\n"
    "\n"
    "KEY begins with its hive, HKEY_CURRENT_USER (HKCU) or HKEY_LOCAL_MACHINE (HKLM,\n"
    "read-only), followed by the key path with backslashes, for example\n"
    "  HKCU\\SOFTWARE\\Brenlow\\Viewer\\DebugLog\n"
    "Key and value names are compared without regard to case. NAME \"\" is the key's\n"
    "default value. A dword VALUE is decimal or hexadecimal with 0x (0 to 4294967295).\n"
    "\n"
    "list prints one line per entry, fields separated by TAB:\n"
    "  key<TAB>NAME\n"
    "  value<TAB>NAME<TAB>TYPE<TAB>DATA\n"
    "TYPE is REG_SZ, REG_EXPAND_SZ or REG_DWORD (DATA decimal). In NAME and DATA a\n"
    "backslash, TAB, CR and LF are written as \\\\, \\t, \\r and \\n.\n"
    "\n"
    "Exit status: 0 success, 1 key or value missing, 2 usage error,\n"
    "3 the registry could not be read or written.\n";

void Print(FILE* Stream, const QString& Text) {
    const QByteArray bytes = Text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), Stream);
}

int Fail(int Code, const QString& Message) {
    Print(stderr, QStringLiteral("blreg: ") + Message + u'\n');
    return Code;
}

int UsageError(const QString& Message) {
    return Fail(ExitUsage, Message + QStringLiteral("\nTry 'blreg --help'."));
}

int ExitCodeOf(const TRegResult& Result) {
    if (Result)
        return ExitOk;
    return Fail(Result.Status == TRegStatus::rsNotFound ? ExitMissing : ExitStoreFailed, Result.ErrorText);
}

struct TKeyArgument {
    TRegRootKey RootKey = TRegRootKey::rkCurrentUser;
    QString Path;  // below the hive, backslash-separated, without a leading backslash
};

std::optional<TKeyArgument> ParseKey(const QString& Text) {
    const struct {
        const char* Name;
        TRegRootKey RootKey;
    } hives[] = {
        {"HKEY_CURRENT_USER", TRegRootKey::rkCurrentUser},
        {"HKCU", TRegRootKey::rkCurrentUser},
        {"HKEY_LOCAL_MACHINE", TRegRootKey::rkLocalMachine},
        {"HKLM", TRegRootKey::rkLocalMachine},
    };
    const QString hive = Text.section(u'\\', 0, 0);
    for (const auto& candidate : hives) {
        if (hive.compare(QLatin1String(candidate.Name), Qt::CaseInsensitive) == 0) {
            const qsizetype separator = Text.indexOf(u'\\');
            return TKeyArgument{candidate.RootKey, separator < 0 ? QString() : Text.mid(separator + 1)};
        }
    }
    return std::nullopt;
}

QString HiveName(TRegRootKey RootKey) {
    return RootKey == TRegRootKey::rkCurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                                 : QStringLiteral("HKEY_LOCAL_MACHINE");
}

QString Quote(const QString& Text) {
    QString result;
    for (QChar c : Text) {
        switch (c.unicode()) {
        case '\\': result += QStringLiteral("\\\\"); break;
        case '\t': result += QStringLiteral("\\t"); break;
        case '\r': result += QStringLiteral("\\r"); break;
        case '\n': result += QStringLiteral("\\n"); break;
        default: result += c;
        }
    }
    return result;
}

QString TypeName(TRegDataType Type) {
    switch (Type) {
    case TRegDataType::rdString: return QStringLiteral("REG_SZ");
    case TRegDataType::rdExpandString: return QStringLiteral("REG_EXPAND_SZ");
    case TRegDataType::rdInteger: return QStringLiteral("REG_DWORD");
    }
    return QStringLiteral("REG_SZ");
}

std::optional<quint32> ParseDword(const QString& Text) {
    bool ok = false;
    const qulonglong value = Text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                 ? Text.mid(2).toULongLong(&ok, 16)
                                 : Text.toULongLong(&ok, 10);
    // toULongLong accepts a sign and surrounding blanks; a dword is digits only.
    if (!ok || value > 0xFFFFFFFFull || Text.trimmed() != Text || Text.contains(u'+') || Text.contains(u'-'))
        return std::nullopt;
    return static_cast<quint32>(value);
}

int CommandGet(const TKeyArgument& Key, const QString& Name) {
    TRegistry registry(Key.RootKey);
    if (TRegResult result = registry.OpenKeyReadOnly(Key.Path); !result)
        return ExitCodeOf(result);
    const std::optional<TRegValue> value = registry.ReadValue(Name);
    if (!value)
        return Fail(ExitMissing, QStringLiteral("The value \"%1\" does not exist in %2\\%3")
                                     .arg(Name, HiveName(Key.RootKey), registry.CurrentPath()));
    Print(stdout, value->Text + u'\n');
    return ExitOk;
}

int CommandSet(const TKeyArgument& Key, const QString& Name, const QString& Text, const QString& Type) {
    TRegValue value;
    if (Type == QLatin1String("sz")) {
        value = {TRegDataType::rdString, Text, 0};
    } else if (Type == QLatin1String("expand_sz")) {
        value = {TRegDataType::rdExpandString, Text, 0};
    } else if (Type == QLatin1String("dword")) {
        const std::optional<quint32> number = ParseDword(Text);
        if (!number)
            return UsageError(QStringLiteral("\"%1\" is not a dword (0 to 4294967295, or 0x0 to 0xFFFFFFFF)").arg(Text));
        value = {TRegDataType::rdInteger, QString::number(*number), *number};
    } else {
        return UsageError(QStringLiteral("Unknown type \"%1\" (sz, expand_sz or dword)").arg(Type));
    }
    TRegistry registry(Key.RootKey);
    if (TRegResult result = registry.OpenKey(Key.Path, true); !result)
        return ExitCodeOf(result);
    return ExitCodeOf(registry.WriteValue(Name, value));
}

int CommandDelete(const TKeyArgument& Key, const std::optional<QString>& Name) {
    TRegistry registry(Key.RootKey);
    if (!Name) {
        if (Key.Path.split(u'\\', Qt::SkipEmptyParts).isEmpty())
            return UsageError(QStringLiteral("A hive cannot be deleted"));
        return ExitCodeOf(registry.DeleteKey(u'\\' + Key.Path));
    }
    if (TRegResult result = registry.OpenKey(Key.Path, false); !result)
        return ExitCodeOf(result);
    return ExitCodeOf(registry.DeleteValue(*Name));
}

int CommandList(const TKeyArgument& Key) {
    TRegistry registry(Key.RootKey);
    if (TRegResult result = registry.OpenKeyReadOnly(Key.Path); !result)
        return ExitCodeOf(result);
    QString output;
    for (const QString& name : registry.GetKeyNames())
        output += QStringLiteral("key\t") + Quote(name) + u'\n';
    for (const QString& name : registry.GetValueNames()) {
        // A value deleted by another process between the two reads is simply not listed.
        if (const std::optional<TRegValue> value = registry.ReadValue(name))
            output += QStringLiteral("value\t%1\t%2\t%3\n").arg(Quote(name), TypeName(value->Type), Quote(value->Text));
    }
    Print(stdout, output);
    return ExitOk;
}

int CommandCreate(const TKeyArgument& Key) {
    if (Key.Path.split(u'\\', Qt::SkipEmptyParts).isEmpty())
        return UsageError(QStringLiteral("No key below the hive given"));
    TRegistry registry(Key.RootKey);
    return ExitCodeOf(registry.CreateKey(u'\\' + Key.Path));
}

}  // namespace

int main(int argc, char** argv) {
    QStringList positional;
    QString type = QStringLiteral("sz");
    bool typeGiven = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (optionsEnded || !argument.startsWith(QLatin1String("--"))) {
            positional.append(argument);
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("--help")) {
            Print(stdout, QString::fromLatin1(UsageText));
            return ExitOk;
        } else if (argument == QLatin1String("--type") && i + 1 < argc) {
            type = QString::fromLocal8Bit(argv[++i]);
            typeGiven = true;
        } else if (argument.startsWith(QLatin1String("--type="))) {
            type = argument.mid(7);
            typeGiven = true;
        } else {
            return UsageError(QStringLiteral("Unknown option %1").arg(argument));
        }
    }
    if (positional.isEmpty())
        return UsageError(QStringLiteral("No command given"));
    const QString command = positional.takeFirst();
    struct TCommand {
        const char* Name;
        int MinArguments;
        int MaxArguments;
        bool Writes;
    };
    const TCommand commands[] = {
        {"get", 2, 2, false}, {"set", 3, 3, true}, {"delete", 1, 2, true},
        {"list", 1, 1, false}, {"create", 1, 1, true},
    };
    const TCommand* found = nullptr;
    for (const TCommand& candidate : commands)
        if (command == QLatin1String(candidate.Name))
            found = &candidate;
    if (!found)
        return UsageError(QStringLiteral("Unknown command \"%1\"").arg(command));
    if (positional.size() < found->MinArguments || positional.size() > found->MaxArguments)
        return UsageError(QStringLiteral("Wrong number of arguments for %1").arg(command));
    if (typeGiven && command != QLatin1String("set"))
        return UsageError(QStringLiteral("--type belongs to set only"));
    const std::optional<TKeyArgument> key = ParseKey(positional[0]);
    if (!key)
        return UsageError(QStringLiteral("\"%1\" does not begin with HKEY_CURRENT_USER, HKCU, "
                                         "HKEY_LOCAL_MACHINE or HKLM").arg(positional[0]));
    if (found->Writes && key->RootKey == TRegRootKey::rkLocalMachine)
        return UsageError(QStringLiteral("HKEY_LOCAL_MACHINE is read-only"));

    if (command == QLatin1String("get"))
        return CommandGet(*key, positional[1]);
    if (command == QLatin1String("set"))
        return CommandSet(*key, positional[1], positional[2], type);
    if (command == QLatin1String("delete"))
        return CommandDelete(*key, positional.size() > 1 ? std::optional<QString>(positional[1]) : std::nullopt);
    if (command == QLatin1String("list"))
        return CommandList(*key);
    return CommandCreate(*key);
}

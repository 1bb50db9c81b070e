// etkconfig: reads and writes configuration files (project files, user files) from the command line,
// through the same stores the program uses, so scripts and administrators change them safely while
// the program runs. Exit codes: 0 done, 1 key (or attribute) missing, 2 usage, 3 file or format error.
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

#include "config/ETKConfigDomXML.h"
#include "config/EtkConfigFastDomXml.h"
#include "platform/FileLock.h"
#include "util/Exception.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitMissing = 1;
constexpr int ExitUsage = 2;
constexpr int ExitFileError = 3;

const char* const UsageText =
    "usage: etkconfig [--dom] get FILE KEY\n"
    "       etkconfig [--dom] read FILE KEY string|int|bool|list [DEFAULT]\n"
    "       etkconfig [--dom] write FILE KEY string|int|bool|list VALUE...\n"
    "       etkconfig [--dom] attr FILE KEY NAME [VALUE]\n"
    "       etkconfig [--dom] keys FILE [KEY]\n"
    "       etkconfig [--dom] all-keys FILE KEY\n"
    "       etkconfig [--dom] delete FILE KEY\n";

struct TUsageError {
    QString Text;
};

void Print(const QString& Text) {
    const QByteArray bytes = Text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

void PrintError(const QString& Text) {
    const QByteArray bytes = QByteArrayLiteral("etkconfig: ") + Text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

bool ParseBool(const QString& Text, bool& Value) {
    const QString lower = Text.toLower();
    if (lower == QLatin1String("true") || lower == QLatin1String("1")) {
        Value = true;
        return true;
    }
    if (lower == QLatin1String("false") || lower == QLatin1String("0")) {
        Value = false;
        return true;
    }
    return false;
}

bool AttributeOf(const QStringList& Lines, const QString& Name, QString& Value) {
    for (const QString& line : Lines) {
        if (line.startsWith(Name + QLatin1Char('|'))) {
            Value = line.mid(Name.size() + 1);
            return true;
        }
    }
    return false;
}

template <class TStore>
int Run(TStore& Store, const QString& Command, const QString& FileName, const QStringList& Args) {
    const bool writes = Command == QLatin1String("write") || Command == QLatin1String("delete") ||
                        (Command == QLatin1String("attr") && Args.size() == 3);
    if (!Platform::FileExists(FileName) && !writes) {
        PrintError(QStringLiteral("Datei nicht gefunden: ") + FileName);
        return ExitFileError;
    }
    Store.SetFileName(FileName);
    if (writes && Store.isXMLReadonly()) {
        PrintError(QStringLiteral("Datei ist schreibgeschützt: ") + FileName);
        return ExitFileError;
    }
    auto need = [&](qsizetype Minimum, qsizetype Maximum) {
        if (Args.size() < Minimum || Args.size() > Maximum)
            throw TUsageError{QStringLiteral("wrong number of arguments for ") + Command};
    };

    if (Command == QLatin1String("get")) {
        need(1, 1);
        bool found = false;
        const QString raw = Store.ReadRawText(Args[0], &found);
        if (!found)
            return ExitMissing;
        Print(raw);
        return ExitOk;
    }
    if (Command == QLatin1String("read")) {
        need(2, 3);
        const QString& key = Args[0];
        const QString& type = Args[1];
        const bool hasDefault = Args.size() == 3;
        if (type != QLatin1String("string") && type != QLatin1String("int") && type != QLatin1String("bool") &&
            type != QLatin1String("list"))
            throw TUsageError{QStringLiteral("unknown type ") + type};
        if (!hasDefault && !Store.KeyExists(key))
            return ExitMissing;
        const QString defaultText = hasDefault ? Args[2] : QString();
        if (type == QLatin1String("string")) {
            Print(Store.ReadString(key, defaultText));
        } else if (type == QLatin1String("int")) {
            bool ok = true;
            const int fallback = hasDefault ? defaultText.toInt(&ok) : 0;
            if (!ok)
                throw TUsageError{QStringLiteral("DEFAULT is no integer: ") + defaultText};
            Print(QString::number(Store.ReadInteger(key, fallback)));
        } else if (type == QLatin1String("bool")) {
            bool fallback = false;
            if (hasDefault && !ParseBool(defaultText, fallback))
                throw TUsageError{QStringLiteral("DEFAULT is no boolean: ") + defaultText};
            Print(Store.ReadBool(key, fallback) ? QStringLiteral("true") : QStringLiteral("false"));
        } else {
            QStringList items = Store.ReadStrings(key);
            if (items.isEmpty() && hasDefault && !defaultText.isEmpty())
                items = QStringList{defaultText};
            for (const QString& item : items)
                Print(item);
        }
        return ExitOk;
    }
    if (Command == QLatin1String("write")) {
        if (Args.size() < 2)
            throw TUsageError{QStringLiteral("wrong number of arguments for write")};
        const QString& key = Args[0];
        const QString& type = Args[1];
        const QStringList values = Args.mid(2);
        if (type == QLatin1String("list")) {
            Store.WriteStrings(key, values);
            return ExitOk;
        }
        if (values.size() != 1)
            throw TUsageError{QStringLiteral("write takes one VALUE for ") + type};
        if (type == QLatin1String("string")) {
            Store.WriteString(key, values[0]);
        } else if (type == QLatin1String("int")) {
            bool ok = false;
            const int value = values[0].toInt(&ok);
            if (!ok)
                throw TUsageError{QStringLiteral("VALUE is no integer: ") + values[0]};
            Store.WriteInteger(key, value);
        } else if (type == QLatin1String("bool")) {
            bool value = false;
            if (!ParseBool(values[0], value))
                throw TUsageError{QStringLiteral("VALUE is no boolean: ") + values[0]};
            Store.WriteBool(key, value);
        } else {
            throw TUsageError{QStringLiteral("unknown type ") + type};
        }
        return ExitOk;
    }
    if (Command == QLatin1String("attr")) {
        need(2, 3);
        if (Args.size() == 3) {
            Store.WriteAttribute(Args[0], Args[1], Args[2]);
            return ExitOk;
        }
        QString value;
        if (!AttributeOf(Store.ReadAllAttributes(Args[0]), Args[1], value))
            return ExitMissing;
        Print(value);
        return ExitOk;
    }
    if (Command == QLatin1String("keys") || Command == QLatin1String("all-keys")) {
        if (Command == QLatin1String("keys"))
            need(0, 1);
        else
            need(1, 1);
        const QString key = Args.value(0);
        if (!key.isEmpty() && !Store.KeyExists(key))
            return ExitMissing;
        const QStringList keys = Command == QLatin1String("keys") ? Store.ReadKeys(key) : Store.ReadAllKeys(key);
        for (const QString& name : keys)
            Print(name);
        return ExitOk;
    }
    if (Command == QLatin1String("delete")) {
        need(1, 1);
        if (!Platform::FileExists(FileName) || !Store.KeyExists(Args[0]))
            return ExitMissing;
        Store.DeleteKey(Args[0]);
        return ExitOk;
    }
    throw TUsageError{QStringLiteral("unknown command ") + Command};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool dom = !args.isEmpty() && args.front() == QLatin1String("--dom");
    if (dom)
        args.removeFirst();
    if (args.size() < 2 || args.front() == QLatin1String("--help")) {
        std::fputs(UsageText, stderr);
        return ExitUsage;
    }
    const QString command = args[0];
    const QString fileName = QFileInfo(args[1]).absoluteFilePath();
    const QStringList rest = args.mid(2);
    try {
        if (dom) {
            TEtkConfigXML store;
            return Run(store, command, fileName, rest);
        }
        TEtkConfigXMLFast store;
        return Run(store, command, fileName, rest);
    } catch (const TUsageError& e) {
        PrintError(e.Text);
        std::fputs(UsageText, stderr);
        return ExitUsage;
    } catch (const Exception& e) {
        PrintError(e.Message());
        return ExitFileError;
    } catch (const std::exception& e) {
        PrintError(QString::fromUtf8(e.what()));
        return ExitFileError;
    }
}

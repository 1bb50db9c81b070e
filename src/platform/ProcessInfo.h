// ProcessInfo.h: facts about the running process and its user: ids, user and computer names, the
// compiled-in file version, whether it runs elevated. Any thread; nothing throws.
#pragma once
#include <QString>
#include <QtGlobal>

namespace Platform {

quint32 CurrentThreadId();   // the kernel's thread id (gettid)
quint32 CurrentProcessId();  // getpid

// The user the process runs for: the account name of the real user id (getpwuid), else $USER,
// else $LOGNAME; empty when none is known.
QString LoginUserName();
// USERDOMAIN when set and not empty, else the short host name (up to the first dot).
QString LogonDomain();
// The short host name (up to the first dot); empty when it cannot be read.
QString ComputerName();

// The file version of our own executables, compiled in from the project version ("1.0.0").
QString FileVersionText();
int FileVersionMajor();
int FileVersionMinor();
int FileVersionPatch();

// "Elevated" on Linux means effective user id 0.
bool IsElevated();

}  // namespace Platform

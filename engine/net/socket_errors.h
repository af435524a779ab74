// Socket error numbers and their messages. The numbers are those of Windows Sockets; POSIX and
// resolver errors are reported with the row of the same meaning.
#pragma once

namespace corvane {

// The message for a Windows Sockets error number; "An unknown error has occured." otherwise.
const char *socketErrorText(int number);
// The Windows Sockets number of the same meaning as a POSIX errno value.
int socketErrorFromErrno(int posixErrno);
// The Windows Sockets number for a getaddrinfo() result (EAI_*); errno is read for EAI_SYSTEM.
int socketErrorFromResolver(int eaiCode, int posixErrno);

}  // namespace corvane

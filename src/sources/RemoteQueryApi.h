#pragma once
// The exported C functions of the remote-query library "Tav_Rem.so": text commands to the agent
// of a remote host over TCP, and the out-of-band calls (Intel AMT, IPMI, SNMP, Wake-on-LAN).
// The library and the program share this header; only C types cross the boundary.
//
// ANSI texts (char) are zero-terminated Windows-1252 in caller buffers. Wide texts (char16_t)
// are zero-terminated UTF-16. A wide text handed back through an out parameter is allocated by
// the library with malloc() and released by the caller with free().

#include <cstdint>

extern "C" {

// Result of SocketQueryServer when the buffer holds the host's own error message.
#define OSTERO_REMOTE_HOST_MESSAGE 0x15000001

typedef int32_t (*TSocketConnectServerFn)(const char* host, int32_t port, int32_t timeoutMs);
typedef int32_t (*TSocketDisconnectServerFn)(void);
typedef int32_t (*TSocketQueryServerFn)(const char* command, char* answer, int32_t capacity,
                                        int32_t timeoutMs);
typedef int32_t (*TSocketErrorMessageFn)(int32_t code, char* buffer, int32_t capacity);

// 0 = reachable.
typedef int32_t (*TPingClientFn)(const char16_t* host);
// Above 0: session id, and *out holds the root lines; -2: user or password rejected.
// SNMP passes null user and password.
typedef int32_t (*TGetRootInfosFn)(char16_t** out, const char16_t* host, const char16_t* user,
                                   const char16_t* password);
// 0: *out holds the sub lines of the root entry.
typedef int32_t (*TGetSubInfosFn)(int32_t sessionId, int32_t rootIndex, char16_t** out,
                                  const char16_t* host, const char16_t* user,
                                  const char16_t* password);
typedef void (*TRemoveSessionFn)(int32_t sessionId);
// 0: *out holds the lines "Status" and "SystemPowerState".
typedef int32_t (*TGetPowerStateFn)(char16_t** out, const char16_t* host, const char16_t* user,
                                    const char16_t* password);
// 0: done.
typedef int32_t (*TRemoteControlSystemFn)(char16_t** out, int32_t command, const char16_t* host,
                                          const char16_t* user, const char16_t* password);
// mac: 12 hexadecimal digits; port text or null. -1 = failed.
typedef int32_t (*TWolPingClientFn)(const char16_t* mac, const char16_t* port);
// *out: the text of the last error of that protocol.
typedef int32_t (*TErrorMessageFn)(char16_t** out);

} // extern "C"

#pragma once
// The exported C functions of the dialog library "tDialogs.so". The library and the program
// share this header; nothing but C types crosses the boundary and no exception may leave it.
//
// The first argument is the owner window (the application's main window, or null). Texts are
// zero-terminated Windows-1252. User name and password buffers hold kDialogTextCapacity
// characters plus the terminator: on entry the current value, on return the entered text.

#include <cstdint>

extern "C" {

#define OSTERO_DIALOG_TEXT_CAPACITY 255

// 1 = OK. With a null user name buffer only the password is asked for.
typedef int32_t (*TShowPasswordDialogFn)(void* owner, const char* message, char* userName,
                                         char* password);
typedef int32_t (*TShowIpConfigDialogFn)(void* owner, const char* host, const char* agentPassword,
                                         int32_t port, int32_t timeoutMs);
typedef int32_t (*TShowSharedMemConfigDialogFn)(void* owner, const char* text, int32_t timeoutMs);
typedef int32_t (*TShowRegConfigDialogFn)(void* owner, const char* text);
// 1 = the settings changed and the caller reloads them.
typedef int32_t (*TShowOptionsDialogFn)(void* owner, int32_t optionValue, uint8_t flag);

} // extern "C"

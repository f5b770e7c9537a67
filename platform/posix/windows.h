// The few Win32 types and kernel32 calls that extraction uses, for Linux
// builds. Paths are taken with backslashes and mapped to slashes. Nothing
// beyond extraction is imitated.
#pragma once

#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned;
using BYTE = unsigned char;
using HANDLE = void*;
using HWND = struct HWND__*;
using LPCSTR = const char*;
using LPSTR = char*;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(-1))

#define GENERIC_WRITE 0x40000000u
#define GENERIC_READ 0x80000000u
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_ALREADY_EXISTS 183
#define ERROR_DISK_FULL 112

struct SECURITY_ATTRIBUTES;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, const void* data, DWORD count, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL LockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD countLow, DWORD countHigh);
BOOL UnlockFile(HANDLE file, DWORD offsetLow, DWORD offsetHigh, DWORD countLow, DWORD countHigh);
BOOL CloseHandle(HANDLE object);
BOOL DeleteFileA(LPCSTR name);
BOOL CreateDirectoryA(LPCSTR name, SECURITY_ATTRIBUTES* security);
BOOL SetCurrentDirectoryA(LPCSTR name);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
DWORD GetLastError();

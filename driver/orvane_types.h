// The few kernel types the driver core needs. In a kernel build they come from
// the DDK; in the host build they are plain stand-ins of the same width, so the
// core compiles unchanged against the simulated PC.
#ifndef ORVANE_TYPES_H
#define ORVANE_TYPES_H

#if defined(ORVANE_KERNEL)

#include <ntddk.h>

typedef KMUTEX OrvaneRequestLock;

#else  // host build

#include <stdint.h>

typedef int32_t NTSTATUS;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef uint16_t USHORT;
typedef uint8_t UCHAR;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t ULONG_PTR;
typedef uint8_t KIRQL;
typedef void* PVOID;

#define NT_SUCCESS(s) (((NTSTATUS)(s)) >= 0)
#define STATUS_SUCCESS                ((NTSTATUS)0x00000000L)
#define STATUS_PENDING                ((NTSTATUS)0x00000103L)
#define STATUS_TIMEOUT                ((NTSTATUS)0x00000102L)
#define STATUS_UNSUCCESSFUL           ((NTSTATUS)0xC0000001L)
#define STATUS_INVALID_PARAMETER      ((NTSTATUS)0xC000000DL)
#define STATUS_NO_SUCH_DEVICE         ((NTSTATUS)0xC000000EL)
#define STATUS_INVALID_DEVICE_REQUEST ((NTSTATUS)0xC0000010L)
#define STATUS_OBJECT_NAME_NOT_FOUND  ((NTSTATUS)0xC0000034L)

#define PASSIVE_LEVEL  0
#define APC_LEVEL      1
#define DISPATCH_LEVEL 2

struct _KDPC;
typedef void KDEFERRED_ROUTINE(struct _KDPC* dpc, PVOID context, PVOID arg1, PVOID arg2);

// Stand-ins for the DPC and timer objects: the simulated PC's timer keeps its
// own state and calls the DPC routine when its due time passes.
typedef struct _KDPC {
    KDEFERRED_ROUTINE* DeferredRoutine;
    PVOID DeferredContext;
} KDPC;
typedef struct _KTIMER {
    LONGLONG DueTime;
    ULONG Armed;
} KTIMER;
typedef struct { ULONG Unused; } OrvaneRequestLock;

#endif

#endif

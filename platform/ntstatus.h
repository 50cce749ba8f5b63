// NTSTATUS and the status codes the driver and its platform exchange.
#pragma once

#include "platform/base_types.h"

typedef int32_t NTSTATUS;

// Status values are defined by their 32-bit pattern; severity "error" makes them negative.
constexpr NTSTATUS MakeStatus(uint32_t bits) { return static_cast<NTSTATUS>(bits); }

constexpr NTSTATUS STATUS_SUCCESS = 0;
constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = MakeStatus(0x80000005u);
constexpr NTSTATUS STATUS_UNSUCCESSFUL = MakeStatus(0xC0000001u);
constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = MakeStatus(0xC0000002u);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = MakeStatus(0xC000000Du);
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = MakeStatus(0xC0000023u);
constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = MakeStatus(0xC0000034u);
constexpr NTSTATUS STATUS_OBJECT_TYPE_MISMATCH = MakeStatus(0xC0000024u);
constexpr NTSTATUS STATUS_INSUFFICIENT_RESOURCES = MakeStatus(0xC000009Au);
constexpr NTSTATUS STATUS_DEVICE_NOT_READY = MakeStatus(0xC00000A3u);
constexpr NTSTATUS STATUS_NOT_SUPPORTED = MakeStatus(0xC00000BBu);
constexpr NTSTATUS STATUS_NO_MATCH = MakeStatus(0xC0000272u);
constexpr NTSTATUS STATUS_DEVICE_DATA_ERROR = MakeStatus(0xC000009Cu);

constexpr bool NT_SUCCESS(NTSTATUS status) { return status >= 0; }

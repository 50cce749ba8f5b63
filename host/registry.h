// The emulated registry: values that tests and the command line put in place
// for the driver's RtlQueryRegistryValues calls.
//
// Key paths and value names match regardless of ASCII case, as in the kernel.
// Setting a value creates its key; removing the last value leaves the key, so
// "key present, value missing" can be arranged.
//
// RtlQueryRegistryValues serves RTL_REGISTRY_ABSOLUTE paths and direct queries
// into 32-bit destinations, which is all the driver asks for:
// - a present REG_DWORD of 4 bytes is copied to EntryContext;
// - a present value of any other type or size is refused with
//   STATUS_OBJECT_TYPE_MISMATCH and the destination is left untouched, since the
//   destination holds only 32 bits and nothing says how large it is;
// - a missing value gets the entry's default if it has one (DefaultType other than
//   REG_NONE; the same type and size rule applies to the default), otherwise
//   succeeds untouched under RTL_REGISTRY_OPTIONAL and fails with
//   STATUS_OBJECT_NAME_NOT_FOUND without it;
// - a missing key succeeds with nothing written under RTL_REGISTRY_OPTIONAL (no
//   default is applied: the whole key is optional) and fails with
//   STATUS_OBJECT_NAME_NOT_FOUND without it;
// - entries are handled in order and the first failure ends the query; entries
//   with a query routine are refused with STATUS_NOT_IMPLEMENTED.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace host {

void RegistrySetDword(std::u16string_view keyPath, std::u16string_view valueName, uint32_t value);

// Any type and any bytes, to try the driver against values it does not expect.
void RegistrySetValue(std::u16string_view keyPath, std::u16string_view valueName, ULONG type, const void* data,
                      std::size_t length);

// Each returns false when there was nothing to remove.
bool RegistryRemoveValue(std::u16string_view keyPath, std::u16string_view valueName);
bool RegistryRemoveKey(std::u16string_view keyPath);

void RegistryClear();

// For paths and names typed on the command line: each byte becomes one character.
std::u16string WidenAscii(std::string_view text);

}  // namespace host

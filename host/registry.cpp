// The emulated registry and RtlQueryRegistryValues; the rules are in host/registry.h.
#include "host/registry.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

struct RegistryValue {
    ULONG type = REG_NONE;
    std::vector<uint8_t> bytes;
};

using Key = std::map<std::u16string, RegistryValue>;

std::mutex g_RegistryLock;
std::map<std::u16string, Key> g_Keys;

std::u16string FoldCase(std::u16string_view text)
{
    std::u16string folded(text);
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return folded;
}

// The only value a 32-bit destination can take whole.
bool IsDword(ULONG type, const void* data, std::size_t length)
{
    return type == REG_DWORD && length == sizeof(uint32_t) && data != nullptr;
}

NTSTATUS QueryDirect(const Key& key, const RTL_QUERY_REGISTRY_TABLE& entry, bool optional)
{
    if (entry.Name == nullptr || entry.EntryContext == nullptr)
        return STATUS_INVALID_PARAMETER;

    const auto found = key.find(FoldCase(entry.Name));
    if (found != key.end()) {
        const RegistryValue& value = found->second;
        if (!IsDword(value.type, value.bytes.data(), value.bytes.size()))
            return STATUS_OBJECT_TYPE_MISMATCH;
        std::memcpy(entry.EntryContext, value.bytes.data(), sizeof(uint32_t));
        return STATUS_SUCCESS;
    }

    if (entry.DefaultType != REG_NONE) {
        if (!IsDword(entry.DefaultType, entry.DefaultData, entry.DefaultLength))
            return STATUS_OBJECT_TYPE_MISMATCH;
        std::memcpy(entry.EntryContext, entry.DefaultData, sizeof(uint32_t));
        return STATUS_SUCCESS;
    }
    return optional ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

}  // namespace

namespace host {

void RegistrySetDword(std::u16string_view keyPath, std::u16string_view valueName, uint32_t value)
{
    RegistrySetValue(keyPath, valueName, REG_DWORD, &value, sizeof(value));
}

void RegistrySetValue(std::u16string_view keyPath, std::u16string_view valueName, ULONG type, const void* data,
                      std::size_t length)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    RegistryValue value{type, std::vector<uint8_t>(bytes, bytes + (bytes != nullptr ? length : 0))};
    std::lock_guard lock(g_RegistryLock);
    g_Keys[FoldCase(keyPath)][FoldCase(valueName)] = std::move(value);
}

bool RegistryRemoveValue(std::u16string_view keyPath, std::u16string_view valueName)
{
    std::lock_guard lock(g_RegistryLock);
    const auto key = g_Keys.find(FoldCase(keyPath));
    return key != g_Keys.end() && key->second.erase(FoldCase(valueName)) != 0;
}

bool RegistryRemoveKey(std::u16string_view keyPath)
{
    std::lock_guard lock(g_RegistryLock);
    return g_Keys.erase(FoldCase(keyPath)) != 0;
}

void RegistryClear()
{
    std::lock_guard lock(g_RegistryLock);
    g_Keys.clear();
}

std::u16string WidenAscii(std::string_view text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text)
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

}  // namespace host

extern "C" NTSTATUS RtlQueryRegistryValues(ULONG RelativeTo, PCWSTR Path, RTL_QUERY_REGISTRY_TABLE* QueryTable,
                                           PVOID /*Context*/, PVOID /*Environment*/)
{
    if ((RelativeTo & ~RTL_REGISTRY_OPTIONAL) != RTL_REGISTRY_ABSOLUTE || Path == nullptr || QueryTable == nullptr)
        return STATUS_INVALID_PARAMETER;
    const bool optional = (RelativeTo & RTL_REGISTRY_OPTIONAL) != 0;

    std::lock_guard lock(g_RegistryLock);
    const auto key = g_Keys.find(FoldCase(Path));
    if (key == g_Keys.end())
        return optional ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;

    // The table ends at an entry with neither a routine nor a direct query.
    for (RTL_QUERY_REGISTRY_TABLE* entry = QueryTable;
         entry->QueryRoutine != nullptr || (entry->Flags & RTL_QUERY_REGISTRY_DIRECT) != 0; ++entry) {
        if ((entry->Flags & RTL_QUERY_REGISTRY_DIRECT) == 0)
            return STATUS_NOT_IMPLEMENTED;
        const NTSTATUS status = QueryDirect(key->second, *entry, optional);
        if (!NT_SUCCESS(status))
            return status;
    }
    return STATUS_SUCCESS;
}

SIZE_T wcslen(const WCHAR* string)
{
    SIZE_T length = 0;
    while (string[length] != 0)
        ++length;
    return length;
}

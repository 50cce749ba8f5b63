#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "host/registry.h"

namespace {

constexpr char16_t KEY[] = u"\\REGISTRY\\Machine\\Software\\Test";
constexpr char16_t NAME[] = u"Setting";
constexpr uint32_t UNTOUCHED = 0x5A5A5A5Au;
constexpr uint32_t STORED = 7;
constexpr uint32_t DEFAULT = 77;

// What the registry holds under KEY before the query.
enum class Setup { NoKey, KeyWithoutValue, Dword, String, Binary4, Binary8, Dword8Bytes, Dword2Bytes };

void Arrange(Setup setup)
{
    const uint8_t bytes[8] = {STORED, 0, 0, 0, 1, 2, 3, 4};
    const char16_t text[] = u"three";
    switch (setup) {
    case Setup::NoKey:
        break;
    case Setup::KeyWithoutValue:
        host::RegistrySetDword(KEY, NAME, STORED);
        ASSERT_TRUE(host::RegistryRemoveValue(KEY, NAME));
        break;
    case Setup::Dword:
        host::RegistrySetDword(KEY, NAME, STORED);
        break;
    case Setup::String:
        host::RegistrySetValue(KEY, NAME, REG_SZ, text, sizeof(text));
        break;
    case Setup::Binary4:
        host::RegistrySetValue(KEY, NAME, REG_BINARY, bytes, 4);
        break;
    case Setup::Binary8:
        host::RegistrySetValue(KEY, NAME, REG_BINARY, bytes, 8);
        break;
    case Setup::Dword8Bytes:
        host::RegistrySetValue(KEY, NAME, REG_DWORD, bytes, 8);
        break;
    case Setup::Dword2Bytes:
        host::RegistrySetValue(KEY, NAME, REG_DWORD, bytes, 2);
        break;
    }
}

// One direct query into a 4-byte heap block, so a write past it is caught by the sanitizers.
struct DirectQuery {
    ULONG relativeTo = RTL_REGISTRY_ABSOLUTE | RTL_REGISTRY_OPTIONAL;
    const char16_t* path = KEY;
    const char16_t* name = NAME;
    ULONG defaultType = REG_NONE;
    ULONG defaultLength = 0;

    NTSTATUS Run(uint32_t& result) const
    {
        auto destination = std::make_unique<uint32_t>(UNTOUCHED);
        uint8_t defaultData[16] = {DEFAULT};
        RTL_QUERY_REGISTRY_TABLE table[2] = {};
        table[0].Flags = RTL_QUERY_REGISTRY_DIRECT;
        table[0].Name = name;
        table[0].EntryContext = destination.get();
        table[0].DefaultType = defaultType;
        table[0].DefaultData = defaultData;
        table[0].DefaultLength = defaultLength;
        const NTSTATUS status = RtlQueryRegistryValues(relativeTo, path, table, nullptr, nullptr);
        result = *destination;
        return status;
    }
};

class Registry : public testing::Test {
protected:
    void SetUp() override { host::RegistryClear(); }
    void TearDown() override { host::RegistryClear(); }
};

struct QueryCase {
    const char* name;
    Setup setup;
    bool optional;
    ULONG defaultType;
    ULONG defaultLength;
    NTSTATUS status;
    uint32_t destination;
};

class RegistryQuery : public Registry, public testing::WithParamInterface<QueryCase> {};

TEST_P(RegistryQuery, DeliversOnlyA32BitValueAndFollowsTheOptionalAndDefaultRules)
{
    const QueryCase& c = GetParam();
    Arrange(c.setup);
    DirectQuery query;
    query.relativeTo = RTL_REGISTRY_ABSOLUTE | (c.optional ? RTL_REGISTRY_OPTIONAL : 0);
    query.defaultType = c.defaultType;
    query.defaultLength = c.defaultLength;
    uint32_t destination = 0;
    EXPECT_EQ(query.Run(destination), c.status);
    EXPECT_EQ(destination, c.destination);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryQuery,
    testing::Values(
        QueryCase{"Dword", Setup::Dword, true, REG_DWORD, 4, STATUS_SUCCESS, STORED},
        QueryCase{"DwordRequired", Setup::Dword, false, REG_NONE, 0, STATUS_SUCCESS, STORED},
        QueryCase{"MissingValueTakesDefault", Setup::KeyWithoutValue, false, REG_DWORD, 4, STATUS_SUCCESS, DEFAULT},
        QueryCase{"MissingValueOptional", Setup::KeyWithoutValue, true, REG_NONE, 0, STATUS_SUCCESS, UNTOUCHED},
        QueryCase{"MissingValueRequired", Setup::KeyWithoutValue, false, REG_NONE, 0, STATUS_OBJECT_NAME_NOT_FOUND,
                  UNTOUCHED},
        // An optional key that is absent is skipped whole: its defaults are not applied.
        QueryCase{"MissingKeyOptional", Setup::NoKey, true, REG_DWORD, 4, STATUS_SUCCESS, UNTOUCHED},
        QueryCase{"MissingKeyRequired", Setup::NoKey, false, REG_DWORD, 4, STATUS_OBJECT_NAME_NOT_FOUND, UNTOUCHED},
        QueryCase{"String", Setup::String, true, REG_DWORD, 4, STATUS_OBJECT_TYPE_MISMATCH, UNTOUCHED},
        QueryCase{"Binary4", Setup::Binary4, true, REG_DWORD, 4, STATUS_OBJECT_TYPE_MISMATCH, UNTOUCHED},
        QueryCase{"Binary8", Setup::Binary8, true, REG_DWORD, 4, STATUS_OBJECT_TYPE_MISMATCH, UNTOUCHED},
        QueryCase{"OversizeDword", Setup::Dword8Bytes, true, REG_DWORD, 4, STATUS_OBJECT_TYPE_MISMATCH, UNTOUCHED},
        QueryCase{"ShortDword", Setup::Dword2Bytes, true, REG_DWORD, 4, STATUS_OBJECT_TYPE_MISMATCH, UNTOUCHED},
        QueryCase{"StringDefault", Setup::KeyWithoutValue, true, REG_SZ, 16, STATUS_OBJECT_TYPE_MISMATCH, UNTOUCHED},
        QueryCase{"OversizeDefault", Setup::KeyWithoutValue, true, REG_DWORD, 8, STATUS_OBJECT_TYPE_MISMATCH,
                  UNTOUCHED}),
    [](const testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });

TEST_F(Registry, PathsAndNamesMatchRegardlessOfCase)
{
    host::RegistrySetDword(u"\\Registry\\MACHINE\\software\\test", u"SETTING", STORED);
    uint32_t destination = 0;
    EXPECT_EQ(DirectQuery{}.Run(destination), STATUS_SUCCESS);
    EXPECT_EQ(destination, STORED);
}

TEST_F(Registry, HandlesEntriesInOrderAndStopsAtTheFirstFailure)
{
    const char16_t text[] = u"x";
    host::RegistrySetDword(KEY, u"First", 1);
    host::RegistrySetValue(KEY, u"Second", REG_SZ, text, sizeof(text));
    host::RegistrySetDword(KEY, u"Third", 3);
    uint32_t values[3] = {UNTOUCHED, UNTOUCHED, UNTOUCHED};
    RTL_QUERY_REGISTRY_TABLE table[4] = {};
    const char16_t* names[3] = {u"First", u"Second", u"Third"};
    for (int i = 0; i < 3; ++i) {
        table[i].Flags = RTL_QUERY_REGISTRY_DIRECT;
        table[i].Name = names[i];
        table[i].EntryContext = &values[i];
    }
    EXPECT_EQ(RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, KEY, table, nullptr, nullptr), STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(values[0], 1u);
    EXPECT_EQ(values[1], UNTOUCHED);
    EXPECT_EQ(values[2], UNTOUCHED);
}

NTSTATUS AnyRoutine(PCWSTR, ULONG, PVOID, ULONG, PVOID, PVOID)
{
    return STATUS_SUCCESS;
}

TEST_F(Registry, RefusesWhatItDoesNotServe)
{
    host::RegistrySetDword(KEY, NAME, STORED);
    uint32_t value = UNTOUCHED;

    DirectQuery otherRoot;
    otherRoot.relativeTo = 1;  // relative to the services key
    EXPECT_EQ(otherRoot.Run(value), STATUS_INVALID_PARAMETER);

    RTL_QUERY_REGISTRY_TABLE table[2] = {};
    table[0].QueryRoutine = AnyRoutine;
    table[0].Name = NAME;
    EXPECT_EQ(RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, KEY, table, nullptr, nullptr), STATUS_NOT_IMPLEMENTED);

    table[0] = {};
    table[0].Flags = RTL_QUERY_REGISTRY_DIRECT;
    table[0].Name = NAME;  // no destination
    EXPECT_EQ(RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, KEY, table, nullptr, nullptr), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE, nullptr, table, nullptr, nullptr),
              STATUS_INVALID_PARAMETER);
}

TEST_F(Registry, SettingReplacesAndRemovingForgets)
{
    uint32_t value = 0;
    const char16_t text[] = u"x";
    host::RegistrySetValue(KEY, NAME, REG_SZ, text, sizeof(text));
    host::RegistrySetDword(KEY, NAME, 9);
    EXPECT_EQ(DirectQuery{}.Run(value), STATUS_SUCCESS);
    EXPECT_EQ(value, 9u) << "a later set replaces type and bytes";

    EXPECT_TRUE(host::RegistryRemoveKey(KEY));
    EXPECT_FALSE(host::RegistryRemoveKey(KEY));
    EXPECT_FALSE(host::RegistryRemoveValue(KEY, NAME));
    DirectQuery required;
    required.relativeTo = RTL_REGISTRY_ABSOLUTE;
    EXPECT_EQ(required.Run(value), STATUS_OBJECT_NAME_NOT_FOUND);

    host::RegistrySetDword(KEY, NAME, 9);
    host::RegistryClear();
    EXPECT_EQ(required.Run(value), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST(WideStringLength, CountsCharactersBeforeTheTerminator)
{
    EXPECT_EQ(wcslen(u""), 0u);
    EXPECT_EQ(wcslen(u"VideoFormat"), 11u);
    EXPECT_EQ(wcslen(u"\u00e9\uffff\xd800"), 3u) << "every non-zero unit counts";
    const std::u16string longPath(255, u'k');
    EXPECT_EQ(wcslen(longPath.c_str()), 255u);
}

}  // namespace

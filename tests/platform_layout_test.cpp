// What the headers' layout checks cannot show: the GUID constants' values, and that
// the driver's routines fit the slots of the platform's tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <type_traits>

#include "capture/packet_assembly.h"
#include "platform/ks.h"
#include "platform/usbcamd.h"

static_assert(std::is_same_v<decltype(&CamProcessUSBPacket), PCAM_PROCESS_PACKET_ROUTINE>,
              "the packet callback fits its slot");

namespace {

struct GuidCase {
    const char* name;
    const GUID* guid;
    const char* text;  // registry form, upper case
};

std::string Format(const GUID& g)
{
    char text[37];
    std::snprintf(text, sizeof(text), "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

class GuidValue : public testing::TestWithParam<GuidCase> {};

TEST_P(GuidValue, MatchesItsTextForm)
{
    EXPECT_EQ(Format(*GetParam().guid), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    KernelStreaming, GuidValue,
    testing::Values(GuidCase{"TypeVideo", &KSDATAFORMAT_TYPE_VIDEO, "73646976-0000-0010-8000-00AA00389B71"},
                    GuidCase{"SpecifierVideoInfo", &KSDATAFORMAT_SPECIFIER_VIDEOINFO,
                             "05589F80-C356-11CE-BF01-00AA0055595A"},
                    GuidCase{"SubtypeRgb24", &KSDATAFORMAT_SUBTYPE_RGB24, "E436EB7D-524F-11CE-9F53-0020AF0BA770"},
                    GuidCase{"SubtypeUyvy", &KSDATAFORMAT_SUBTYPE_UYVY, "59565955-0000-0010-8000-00AA00389B71"},
                    GuidCase{"VideoProcAmp", &PROPSETID_VIDCAP_VIDEOPROCAMP, "C6E13360-30AC-11D0-A18C-00A0C9118956"},
                    GuidCase{"VideoControl", &PROPSETID_VIDCAP_VIDEOCONTROL, "6A2E0670-28E4-11D0-A18C-00A0C9118956"},
                    GuidCase{"General", &KSPROPTYPESETID_General, "97E99BA0-BDEA-11CF-A5D6-28DB04C10000"}),
    [](const testing::TestParamInfo<GuidCase>& info) { return std::string(info.param.name); });

TEST(GuidValue, UyvySubtypeCarriesTheFourCCOfItsBitmapCompression)
{
    EXPECT_EQ(KSDATAFORMAT_SUBTYPE_UYVY.Data1, KS_BI_UYVY_FOURCC);
}

}  // namespace

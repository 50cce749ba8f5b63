// The kernel-streaming GUIDs the driver names.
#include "platform/ks.h"

// 73646976-0000-0010-8000-00AA00389B71
extern const GUID KSDATAFORMAT_TYPE_VIDEO = {0x73646976u, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// 05589F80-C356-11CE-BF01-00AA0055595A
extern const GUID KSDATAFORMAT_SPECIFIER_VIDEOINFO = {0x05589F80u, 0xC356, 0x11CE,
                                                      {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

// E436EB7D-524F-11CE-9F53-0020AF0BA770
extern const GUID KSDATAFORMAT_SUBTYPE_RGB24 = {0xE436EB7Du, 0x524F, 0x11CE,
                                                {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

// 59565955-0000-0010-8000-00AA00389B71: the FOURCC "UYVY" in the first field.
extern const GUID KSDATAFORMAT_SUBTYPE_UYVY = {0x59565955u, 0x0000, 0x0010,
                                               {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// C6E13360-30AC-11D0-A18C-00A0C9118956
extern const GUID PROPSETID_VIDCAP_VIDEOPROCAMP = {0xC6E13360u, 0x30AC, 0x11D0,
                                                   {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};

// 6A2E0670-28E4-11D0-A18C-00A0C9118956
extern const GUID PROPSETID_VIDCAP_VIDEOCONTROL = {0x6A2E0670u, 0x28E4, 0x11D0,
                                                   {0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56}};

// 97E99BA0-BDEA-11CF-A5D6-28DB04C10000
extern const GUID KSPROPTYPESETID_General = {0x97E99BA0u, 0xBDEA, 0x11CF,
                                             {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};

#include "support/camera_device.h"

#include "capture/capture_buffers.h"
#include "host/driver_image.h"

namespace testsupport {

CameraDevice::CameraDevice(uint16_t dataMaxPacketSize) : dataMaxPacketSize_(dataMaxPacketSize)
{
    host::ReloadDriverImage();
    interfaceBytes_.assign(UsbdInterfaceInformationSize(2), 0);
    auto* info = reinterpret_cast<USBD_INTERFACE_INFORMATION*>(interfaceBytes_.data());
    info->Length = static_cast<USHORT>(interfaceBytes_.size());
    info->AlternateSetting = 5;
    info->NumberOfPipes = 2;
    info->Pipes[0].MaximumPacketSize = 128;
    info->Pipes[0].PipeType = UsbdPipeTypeIsochronous;
    info->Pipes[0].MaximumTransferSize = 4096;
    info->Pipes[1].MaximumPacketSize = dataMaxPacketSize;
    info->Pipes[1].PipeType = UsbdPipeTypeIsochronous;
    info->Pipes[1].MaximumTransferSize = 32768;
    context_.signature = DEVICE_CONTEXT_SIGNATURE;
    context_.interfaceInfo = info;
    context_.frameGood = 1;
    AllocateCaptureBuffers();
}

CameraDevice::~CameraDevice() { host::ReloadDriverImage(); }

}  // namespace testsupport

// Packet assembly cost per pair: one transfer of 32 pairs laid out as the class
// library hands it over, fed to the packet callback again and again. Every 32nd
// pair starts a frame, so the per-frame head copy is in the figure too.
#include <benchmark/benchmark.h>

#include <vector>

#include "capture/capture_buffers.h"
#include "capture/packet_assembly.h"
#include "driver/device_context.h"
#include "host/driver_image.h"
#include "host/usbcamd_transfer.h"

namespace {

void PacketPairs(benchmark::State& state)
{
    constexpr uint16_t kDataMaxPacket = 1023;
    host::ReloadDriverImage();
    AllocateCaptureBuffers();
    std::vector<uint8_t> interfaceBytes(UsbdInterfaceInformationSize(2), 0);
    auto* info = reinterpret_cast<USBD_INTERFACE_INFORMATION*>(interfaceBytes.data());
    info->NumberOfPipes = 2;
    info->Pipes[1].MaximumPacketSize = kDataMaxPacket;
    DeviceContext device{};
    device.interfaceInfo = info;

    std::vector<uint8_t> sync(host::kSyncTransferSize, 0x5A), data(host::kDataTransferSize, 0xA5);
    std::vector<USBD_ISO_PACKET_DESCRIPTOR> syncPackets(32), dataPackets(32);
    for (uint32_t i = 0; i < 32; ++i) {
        uint8_t* header = sync.data() + i * (host::kSyncPacketStride - 1);
        header[0] = i == 0 ? 0x80 : 0;
        header[1] = 0xBA;
        header[2] = static_cast<uint8_t>((i * 124) >> 8);
        header[3] = static_cast<uint8_t>(i * 124);
        syncPackets[i] = {i * host::kSyncPacketStride, host::kSyncPacketStride, 0};
        dataPackets[i] = {i * kDataMaxPacket, kDataMaxPacket, 0};
    }
    BOOLEAN complete = FALSE, still = FALSE;
    for (auto _ : state)
        for (uint32_t i = 0; i < 32; ++i)
            benchmark::DoNotOptimize(CamProcessUSBPacket(nullptr, &device, nullptr, &syncPackets[i], sync.data(),
                                                         &dataPackets[i], data.data() + i * kDataMaxPacket,
                                                         &complete, &still));
    state.SetItemsProcessed(state.iterations() * 32);
    FreeCaptureBuffers();
}

BENCHMARK(PacketPairs);

}  // namespace

// What the default output device keeps between a shared-mode client's
// buffer and the speaker, asked of WASAPI itself: SDL 2 opens its own client
// and does not tell. A client of the same kind as SDL's (shared, event
// driven, the device's mix format, the default buffer) is made, asked and
// released; it never plays.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// Defines the interface ids here rather than linking libuuid.
#include <initguid.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include "platform/native_sound.h"

namespace platform::native_sound {

int device_latency_frames(int rate) {
    // SDL has set up COM on this thread already; a second set-up of the same
    // kind only counts up, and one of another kind fails and is not undone.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IMMDeviceEnumerator* devices = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    WAVEFORMATEX* format = nullptr;
    REFERENCE_TIME latency = 0; // 100 ns units
    if (SUCCEEDED(CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                                   reinterpret_cast<void**>(&devices))) &&
        SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eConsole, &device)) &&
        SUCCEEDED(
            device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client))) &&
        SUCCEEDED(client->GetMixFormat(&format)) &&
        SUCCEEDED(client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, 0, 0,
                                     format, nullptr)))
        if (FAILED(client->GetStreamLatency(&latency))) latency = 0;
    if (format) CoTaskMemFree(format);
    if (client) client->Release();
    if (device) device->Release();
    if (devices) devices->Release();
    if (SUCCEEDED(com)) CoUninitialize();
    return int(latency * rate / 10000000);
}

} // namespace platform::native_sound

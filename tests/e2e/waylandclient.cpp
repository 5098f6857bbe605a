// A small Wayland client for the Wayland end-to-end test. It asks the compositor for an
// activation token, as a desktop's launcher does before it starts a program, and clicks with a
// virtual pointer, since a headless compositor has no input devices of its own.
//
//   waylandclient token                      prints a fresh activation token
//   waylandclient click <x> <y> <w> <h>      clicks the left button at x,y of a w × h layout
//
// Neither protocol is one of libwayland's own, so their interfaces are declared here as their
// descriptions define them: xdg-activation-v1 (wayland-protocols, staging) and
// wlr-virtual-pointer-unstable-v1 (wlroots). Only the order of the requests matters to the
// wire, so every request up to the last one used is listed.

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

const wl_interface* noTypes[5] = {};

const wl_interface* setSerialTypes[] = {nullptr, &wl_seat_interface};
const wl_interface* setSurfaceTypes[] = {&wl_surface_interface};
const wl_message tokenRequests[] = {{"set_serial", "uo", setSerialTypes},
                                    {"set_app_id", "s", noTypes},
                                    {"set_surface", "o", setSurfaceTypes},
                                    {"commit", "", noTypes},
                                    {"destroy", "", noTypes}};
const wl_message tokenEvents[] = {{"done", "s", noTypes}};
const wl_interface tokenInterface = {
    "xdg_activation_token_v1", 1, 5, tokenRequests, 1, tokenEvents};
enum TokenRequest { Commit = 3, DestroyToken = 4 };

const wl_interface* getTokenTypes[] = {&tokenInterface};
const wl_interface* activateTypes[] = {nullptr, &wl_surface_interface};
const wl_message activationRequests[] = {{"destroy", "", noTypes},
                                         {"get_activation_token", "n", getTokenTypes},
                                         {"activate", "so", activateTypes}};
const wl_interface activationInterface = {"xdg_activation_v1", 1, 3,
                                          activationRequests,  0, nullptr};
enum ActivationRequest { GetActivationToken = 1 };

const wl_message pointerRequests[] = {
    {"motion", "uff", noTypes},   {"motion_absolute", "uuuuu", noTypes},
    {"button", "uuu", noTypes},   {"axis", "uuf", noTypes},
    {"frame", "", noTypes},       {"axis_source", "u", noTypes},
    {"axis_stop", "uu", noTypes}, {"axis_discrete", "uufi", noTypes},
    {"destroy", "", noTypes}};
const wl_interface pointerInterface = {"zwlr_virtual_pointer_v1", 1, 9,
                                       pointerRequests,           0, nullptr};
enum PointerRequest { MotionAbsolute = 1, Button = 2, Frame = 4, DestroyPointer = 8 };

const wl_interface* createPointerTypes[] = {&wl_seat_interface, &pointerInterface};
const wl_message managerRequests[] = {{"create_virtual_pointer", "?on", createPointerTypes},
                                      {"destroy", "", noTypes}};
const wl_interface managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 2, managerRequests, 0, nullptr};
enum ManagerRequest { CreateVirtualPointer = 0 };

constexpr uint32_t LeftButton = 0x110; // BTN_LEFT

struct Globals
{
    wl_proxy* activation = nullptr;
    wl_proxy* pointerManager = nullptr;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, activationInterface.name) == 0)
        globals->activation =
            static_cast<wl_proxy*>(wl_registry_bind(registry, name, &activationInterface, 1));
    else if (std::strcmp(interface, managerInterface.name) == 0)
        globals->pointerManager =
            static_cast<wl_proxy*>(wl_registry_bind(registry, name, &managerInterface, 1));
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

struct TokenListener
{
    void (*done)(void* data, wl_proxy* token, const char* text);
};

int printToken(wl_display* display, wl_proxy* activation)
{
    // No serial and no surface: a token of the compositor's own, as for a program started
    // from a launcher rather than from a click in another window.
    wl_proxy* token =
        wl_proxy_marshal_flags(activation, GetActivationToken, &tokenInterface, 1, 0, nullptr);
    std::string text;
    static TokenListener listener = {[](void* data, wl_proxy*, const char* received) {
        *static_cast<std::string*>(data) = received;
    }};
    wl_proxy_add_listener(token, reinterpret_cast<void (**)()>(&listener), &text);
    wl_proxy_marshal_flags(token, Commit, nullptr, 1, 0);
    while (text.empty() && wl_display_dispatch(display) != -1) {
    }
    wl_proxy_marshal_flags(token, DestroyToken, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
    wl_display_roundtrip(display);
    if (text.empty())
        return 1;
    std::printf("%s\n", text.c_str());
    return 0;
}

int click(wl_display* display, wl_proxy* manager, const uint32_t place[4])
{
    wl_proxy* pointer = wl_proxy_marshal_flags(manager, CreateVirtualPointer, &pointerInterface, 1,
                                               0, nullptr, nullptr);
    uint32_t time = 1;
    const auto step = [&](int milliseconds) {
        wl_proxy_marshal_flags(pointer, Frame, nullptr, 1, 0);
        wl_display_roundtrip(display);
        // The clients see the new pointer, or the last event, before the next one comes.
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        time += static_cast<uint32_t>(milliseconds);
    };
    step(500);
    wl_proxy_marshal_flags(pointer, MotionAbsolute, nullptr, 1, 0, time, place[0], place[1],
                           place[2], place[3]);
    step(200);
    wl_proxy_marshal_flags(pointer, Button, nullptr, 1, 0, time, LeftButton, 1u);
    step(50);
    wl_proxy_marshal_flags(pointer, Button, nullptr, 1, 0, time, LeftButton, 0u);
    step(200);
    wl_proxy_marshal_flags(pointer, DestroyPointer, nullptr, 1, WL_MARSHAL_FLAG_DESTROY);
    wl_display_roundtrip(display);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const bool token = argc == 2 && std::strcmp(argv[1], "token") == 0;
    const bool clicking = argc == 6 && std::strcmp(argv[1], "click") == 0;
    if (!token && !clicking) {
        std::fprintf(stderr, "usage: %s token | click <x> <y> <width> <height>\n", argv[0]);
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);

    int status = 1;
    if (token && globals.activation) {
        status = printToken(display, globals.activation);
    } else if (clicking && globals.pointerManager) {
        uint32_t place[4];
        for (int i = 0; i < 4; ++i)
            place[i] = static_cast<uint32_t>(std::strtoul(argv[i + 2], nullptr, 10));
        status = click(display, globals.pointerManager, place);
    } else {
        std::fprintf(stderr, "the compositor lacks the protocol\n");
    }
    wl_display_disconnect(display);
    return status;
}

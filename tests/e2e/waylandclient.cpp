// A small Wayland client for the Wayland end-to-end test. It asks the compositor for an
// activation token, as a desktop's launcher does before it starts a program, and clicks with a
// virtual pointer, since a headless compositor has no input devices of its own.
//
//   waylandclient token                      prints a fresh activation token
//   waylandclient click <x> <y> <w> <h>      clicks the left button at x,y of a w × h layout
//
// Neither protocol is one of libwayland's own, so the requests used are declared here as
// xdg-activation-v1 (wayland-protocols) and wlr-virtual-pointer-unstable-v1 (wlroots) number
// them; the objects go with the connection.

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

const wl_interface* noTypes[5] = {};

const wl_message tokenRequests[] = {{"set_serial", "uo", noTypes},
                                    {"set_app_id", "s", noTypes},
                                    {"set_surface", "o", noTypes},
                                    {"commit", "", noTypes}};
const wl_message tokenEvents[] = {{"done", "s", noTypes}};
const wl_interface tokenInterface = {
    "xdg_activation_token_v1", 1, 4, tokenRequests, 1, tokenEvents};
const wl_interface* tokenTypes[] = {&tokenInterface};
const wl_message activationRequests[] = {{"destroy", "", noTypes},
                                         {"get_activation_token", "n", tokenTypes}};
const wl_interface activationInterface = {"xdg_activation_v1", 1, 2,
                                          activationRequests,  0, nullptr};

const wl_message pointerRequests[] = {{"motion", "uff", noTypes},
                                      {"motion_absolute", "uuuuu", noTypes},
                                      {"button", "uuu", noTypes},
                                      {"axis", "uuf", noTypes},
                                      {"frame", "", noTypes}};
const wl_interface pointerInterface = {"zwlr_virtual_pointer_v1", 1, 5,
                                       pointerRequests,           0, nullptr};
const wl_interface* pointerTypes[] = {nullptr, &pointerInterface};
const wl_message managerRequests[] = {{"create_virtual_pointer", "?on", pointerTypes}};
const wl_interface managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, managerRequests, 0, nullptr};

enum Request { GetActivationToken = 1, Commit = 3, MotionAbsolute = 1, Button = 2, Frame = 4 };

wl_proxy* bound[2]; // xdg_activation_v1, zwlr_virtual_pointer_manager_v1

void onGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    const wl_interface* wanted[2] = {&activationInterface, &managerInterface};
    for (int i = 0; i < 2; ++i) {
        if (std::strcmp(interface, wanted[i]->name) == 0)
            bound[i] = static_cast<wl_proxy*>(wl_registry_bind(registry, name, wanted[i], 1));
    }
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};

std::string tokenText;
void (*tokenListener[])(void*, wl_proxy*, const char*) = {
    [](void*, wl_proxy*, const char* text) { tokenText = text; }};

} // namespace

int main(int argc, char* argv[])
{
    const bool token = argc == 2 && std::strcmp(argv[1], "token") == 0;
    if (!token && !(argc == 6 && std::strcmp(argv[1], "click") == 0)) {
        std::fprintf(stderr, "usage: %s token | click <x> <y> <width> <height>\n", argv[0]);
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return 1;
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!bound[token ? 0 : 1])
        return 1;

    if (token) {
        // No serial and no surface: a token the compositor gives out for a program's start.
        wl_proxy* request =
            wl_proxy_marshal_flags(bound[0], GetActivationToken, &tokenInterface, 1, 0, nullptr);
        wl_proxy_add_listener(request, reinterpret_cast<void (**)()>(tokenListener), nullptr);
        wl_proxy_marshal_flags(request, Commit, nullptr, 1, 0);
        while (tokenText.empty() && wl_display_dispatch(display) != -1) {
        }
        std::printf("%s\n", tokenText.c_str());
        return tokenText.empty() ? 1 : 0;
    }

    wl_proxy* pointer =
        wl_proxy_marshal_flags(bound[1], 0, &pointerInterface, 1, 0, nullptr, nullptr);
    uint32_t time = 1;
    const auto frame = [&](int pauseMs) {
        wl_proxy_marshal_flags(pointer, Frame, nullptr, 1, 0);
        wl_display_roundtrip(display);
        // The clients take in the new pointer, or the last event, before the next one comes.
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        time += static_cast<uint32_t>(pauseMs);
    };
    uint32_t place[4];
    for (int i = 0; i < 4; ++i)
        place[i] = static_cast<uint32_t>(std::strtoul(argv[i + 2], nullptr, 10));
    frame(500);
    wl_proxy_marshal_flags(pointer, MotionAbsolute, nullptr, 1, 0, time, place[0], place[1],
                           place[2], place[3]);
    frame(200);
    for (uint32_t state : {1u, 0u}) {
        wl_proxy_marshal_flags(pointer, Button, nullptr, 1, 0, time, 0x110u /* BTN_LEFT */, state);
        frame(100);
    }
    wl_display_disconnect(display);
    return 0;
}

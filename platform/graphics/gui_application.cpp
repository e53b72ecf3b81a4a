#include "platform/graphics/gui_application.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <mutex>

TToolkitArguments PrepareToolkitStart()
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool noDisplay = (!display || !*display) && (!wayland || !*wayland);
    if (noDisplay && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "lumetra";
    static char* argv[] = {name, nullptr};
    return {argc, argv};
}

void EnsureGuiApplication()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (QCoreApplication::instance()) return;
        const TToolkitArguments args = PrepareToolkitStart();
        // Deliberately never destroyed: fonts and images outlive any scope we could tie it to.
        new QGuiApplication(args.argc, args.argv);
    });
}

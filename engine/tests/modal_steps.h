#pragma once
// Drives a modal dialog from its own event loop: each step runs queued after the one before, so
// the dialog can react (or close) in between. A dialog the steps leave open would wait for ever:
// that fails the test and cancels it.

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "platform/ui/application.h"

// Dialogs are windows: the toolkit starts with widget support before any test measures a font.
class TWidgetToolkitEnvironment : public ::testing::Environment {
public:
    void SetUp() override { Application(); }
};
inline ::testing::Environment* const kWidgetToolkitEnvironment =
    ::testing::AddGlobalTestEnvironment(new TWidgetToolkitEnvironment);

template <class Dialog>
void QueueModalSteps(Dialog* d, std::vector<std::function<void(Dialog&)>> steps,
                     std::size_t i = 0) {
    if (i >= steps.size()) {
        Application()->QueueCall([d] {
            if (!d->Visible()) return;
            ADD_FAILURE() << "the dialog is still open";
            d->CancelB->Click();
        });
        return;
    }
    Application()->QueueCall([d, steps = std::move(steps), i]() mutable {
        if (!d->Visible()) return;
        steps[i](*d);
        QueueModalSteps(d, std::move(steps), i + 1);
    });
}

// uidemo: a small form of standard controls. With --screenshot FILE it saves a picture of the
// screen once the form is painted; with --quit-after MS it closes its form after that time.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/core/exception.h"
#include "platform/ui/application.h"
#include "platform/ui/containers.h"
#include "platform/ui/form.h"
#include "platform/ui/std_controls.h"

namespace {

class DemoForm : public TForm {
public:
    explicit DemoForm(TComponent* owner) : TForm(owner) {
        SetCaption("Lumetra");
        SetClientWidth(480);
        SetClientHeight(300);
        SetPosition(poScreenCenter);
        auto* group = new TGroupBox(this);
        group->SetParent(this);
        group->SetCaption("检索条件");
        group->SetBounds(8, 8, 289, 160);
        auto* label = new TLabel(this);
        label->SetParent(group);
        label->SetCaption("姓名:");
        label->SetBounds(12, 28, 0, 0);
        auto* name = new TEdit(this);
        name->SetParent(group);
        name->SetBounds(80, 24, 180, 21);
        auto* check = new TCheckBox(this);
        check->SetParent(group);
        check->SetCaption("按检查医生分组显示");
        check->SetBounds(12, 60, 200, 17);
        auto* search = new TButton(this);
        search->SetParent(group);
        search->SetCaption("查询(&S)");
        search->SetBounds(12, 100, 75, 25);
        search->OnClick = [this, name](TObject*) {
            status_->SetSimpleText("查询: " + name->Text());
        };
        auto* quit = new TButton(this);
        quit->SetParent(group);
        quit->SetCaption("退出(&Q)");
        quit->SetBounds(100, 100, 75, 25);
        quit->OnClick = [this](TObject*) { Close(); };
        status_ = new TStatusBar(this);
        status_->SetParent(this);
        status_->SetSimplePanel(true);
        status_->SetSimpleText("Ready");
    }

private:
    TStatusBar* status_ = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    std::string screenshot;
    int quitAfter = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc)
            screenshot = argv[++i];
        else if (!std::strcmp(argv[i], "--quit-after") && i + 1 < argc)
            quitAfter = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: uidemo [--screenshot FILE] [--quit-after MS]\n");
            return 2;
        }
    }
    int status = 0;
    try {
        TApplication* app = Application();
        app->SetTitle("Lumetra UI demo");
        auto* form = app->CreateForm<DemoForm>();
        if (!screenshot.empty())
            app->QueueCallAfter(std::max(200, quitAfter / 2), [screenshot, &status] {
                try {
                    SaveImageAsPng(Screen().Grab(), screenshot);
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "uidemo: %s\n", e.what());
                    status = 1;
                }
            });
        if (quitAfter > 0) app->QueueCallAfter(quitAfter, [form] { form->Close(); });
        app->Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "uidemo: %s\n", e.what());
        return 1;
    }
    return status;
}

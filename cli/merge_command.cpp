#include <memory>

#include "app/form1.h"
#include "cli/commands.h"
#include "cli/queue_builder.h"
#include "cli/terminal_services.h"
#include "engine/model/workbook.h"
#include "engine/io/workbook_io.h"
#include "automation/automation.h"

namespace plyfold::cli {
namespace {

// Takes the server instance that a merge makes visible; its workbook is the result.
class CapturingPresenter : public automation::ResultPresenter {
public:
    CapturingPresenter() { automation::ServerRegistry::instance().setPresenter(this); }
    ~CapturingPresenter() override { automation::ServerRegistry::instance().setPresenter(nullptr); }
    void present(std::shared_ptr<automation::Application> application) override {
        m_application = std::move(application);
    }
    std::shared_ptr<automation::Application> application() const { return m_application; }

private:
    std::shared_ptr<automation::Application> m_application;
};

bool endsWithCsv(const std::string& path) {
    return path.size() >= 4 && (path.compare(path.size() - 4, 4, ".csv") == 0 ||
                                path.compare(path.size() - 4, 4, ".CSV") == 0);
}

void applyOptions(app::Form1& form, const Options& options) {
    controls::Form1Controls& c = form.controls();
    const bool oneSheet = options.mode != MergeMode::Workbook;
    c.Option1.setValue(oneSheet);
    c.Option2.setValue(!oneSheet);
    if (oneSheet) {
        form.Option1_Click();
    } else {
        form.Option2_Click();
    }
    c.Combo1.setListIndex(options.mode == MergeMode::Horizontal ? 1 : 0);
    form.Combo1_Click();
    c.Check1.setValue(options.skipFirst ? 1 : 0);
    c.Check2.setValue(options.autofit ? 1 : 0);
    c.Text1.setText(options.gap);
}

// Fills the queue; false when a source is missing or a queue file is unusable.
bool fillQueue(app::Form1& form, const Options& options, StderrMessages& messages, int& status) {
    for (const std::string& queueFile : options.queueFiles) {
        if (auto error = queueFromFile(form, queueFile)) {
            messages.showMessage(*error, controls::MessageIcon::Critical);
            status = kUsage;
            return false;
        }
    }
    for (const SourceArgument& argument : options.sources) {
        auto source = resolveSource(argument);
        if (!source) {
            messages.showMessage(argument.text + ": File does not exist!",
                                 controls::MessageIcon::Critical);
            status = kFailure;
            return false;
        }
        queueSource(form, *source);
    }
    return true;
}

int writeResult(const automation::Application& server, const std::string& output,
                StderrMessages& messages) {
    auto books = server.workbooks();
    if (books.empty()) {
        messages.showMessage("The merge left no result workbook.", controls::MessageIcon::Critical);
        return kFailure;
    }
    const engine::Workbook& result = *books.front();
    try {
        if (endsWithCsv(output)) {
            engine::saveSheetAsCsv(result.sheet(0), output);
        } else {
            engine::saveWorkbook(result, output);
        }
    } catch (const SpreadsheetError& error) {
        messages.showMessage(error.description(), controls::MessageIcon::Critical);
        return kFailure;
    }
    return kSuccess;
}

}  // namespace

int runMerge(const Options& options) {
    StderrMessages messages;
    app::Form1Services services;
    services.messages = &messages;
    app::Form1 form("", services);
    form.SetUpControls();
    applyOptions(form, options);

    int status = kSuccess;
    if (!fillQueue(form, options, messages, status)) {
        return status;
    }
    if (messages.hasFailed()) {
        return kFailure;  // a workbook could not be listed; merging the rest would hide it
    }

    std::unique_ptr<TerminalProgress> progress;
    if (!options.quiet && stderrIsTerminal()) {
        progress = std::make_unique<TerminalProgress>(form.controls().ProgressBar1);
        form.controls().ProgressBar1.setChangeHandler([&progress] { progress->update(); });
    }
    CapturingPresenter presenter;
    form.Command18_Click();
    form.controls().ProgressBar1.setChangeHandler(nullptr);
    auto server = presenter.application();
    if (messages.hasFailed() || !server || !server->isRunning()) {
        return kFailure;
    }
    status = writeResult(*server, options.output, messages);
    server->Quit();
    return status;
}

}  // namespace plyfold::cli

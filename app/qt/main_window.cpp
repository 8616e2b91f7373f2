#include "app/qt/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <exception>

#include "app/qt/about_box_view.h"
#include "app/qt/control_bindings.h"
#include "app/qt/list_model_adapter.h"
#include "app/qt/list_view.h"
#include "app/qt/picture_button.h"
#include "app/qt/settings_dialog_view.h"
#include "app/qt/source_icons.h"
#include "app/qt/twips.h"
#include "engine/model/limits.h"

namespace plyfold::gui {
namespace {

// The client area below the menu bar, in twips.
constexpr int kClientWidthTwips = 11232;
constexpr int kClientHeightTwips = 7536;

QFont arial(double points) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    return font;
}

template <typename Widget>
Widget* place(Widget* widget, const char* name, QRect geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

// A tool-bar button: its picture above its caption.
QToolButton* pictureButton(QWidget* parent, const char* name, const QString& caption,
                           const char* picture, int pictureSize, QRect geometry) {
    auto* button = place(new PictureButton(parent), name, geometry);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setText(caption);
    button->setIcon(programIcon(QString::fromLatin1(picture)));
    button->setIconSize(QSize(pictureSize, pictureSize));
    button->setFont(arial(9.6));
    return button;
}

// An arrow button: only its picture, no caption and no tool tip.
QToolButton* arrowButton(QWidget* parent, const char* name, const char* picture, QRect geometry) {
    auto* button = place(new QToolButton(parent), name, geometry);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(programIcon(QString::fromLatin1(picture)));
    button->setIconSize(
        QSize(std::max(8, geometry.width() - 8), std::max(8, geometry.height() - 8)));
    return button;
}

QPushButton* plainButton(QWidget* parent, const char* name, const QString& caption,
                         QRect geometry) {
    auto* button = place(new QPushButton(caption, parent), name, geometry);
    button->setFont(arial(9));
    button->setAutoDefault(false);
    return button;
}

// The File menu's job items, below the source items.
template <typename AddItem>
void addJobItems(QMenu* file, const AddItem& addItem) {
    file->addSeparator();
    addItem(file, "OpenJob", QStringLiteral("&Open Job..."), &app::Form1::OpenJob_Click);
    addItem(file, "SaveJob", QStringLiteral("&Save Job..."), &app::Form1::SaveJob_Click);
}

// The Edit menu's Sheet Filter... item, below the list items.
template <typename AddItem>
void addSheetFilterItem(QMenu* edit, const AddItem& addItem) {
    edit->addSeparator();
    addItem(edit, "SheetFilter", QStringLiteral("Sheet &Filter..."),
            &app::Form1::SheetFilter_Click);
}

}  // namespace

// What Form1's commands ask of the window.
class MainWindow::WindowActions : public app::WindowService {
public:
    explicit WindowActions(MainWindow& window) : m_window(window) {}
    void closeMainWindow() override { m_window.close(); }
    void showSettingsDialog() override { m_window.showSettingsDialog(); }
    void showAboutBox() override { m_window.showAboutBox(); }
    void* windowHandle() override { return static_cast<QWidget*>(&m_window); }
    std::optional<std::string> askSheetFilter(const std::string& current) override {
        return m_window.askSheetFilter(current);
    }
    std::optional<int32_t> askHeaderRow(int32_t current) override {
        return m_window.askHeaderRow(current);
    }

private:
    MainWindow& m_window;
};

MainWindow::MainWindow(app::ProgramFolders folders, MainWindowServices services, QWidget* parent)
    : QMainWindow(parent),
      m_folders(std::move(folders)),
      m_ownMessages([this] { return static_cast<QWidget*>(this); }),
      m_messages(services.messages ? services.messages : &m_ownMessages),
      m_shell(services.shell ? services.shell : &m_ownShell),
      m_dialogs(services.dialogs ? services.dialogs : &m_ownDialogs),
      m_windowActions(std::make_unique<WindowActions>(*this)) {
    app::Form1Services formServices;
    formServices.messages = m_messages;
    formServices.pointer = &m_pointer;
    formServices.shell = m_shell;
    formServices.dialogs = m_dialogs;
    formServices.window = m_windowActions.get();
    m_form = std::make_unique<app::Form1>(m_folders, formServices);

    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Plyfold"));
    setWindowIcon(programIcon(QStringLiteral("plyfold.svg")));
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Form1Client"));
    central->setFont(arial(8.4));
    central->setFixedSize(twipsToPixels(kClientWidthTwips), twipsToPixels(kClientHeightTwips));
    setCentralWidget(central);
    buildControls(central);
    buildMenus();
    addKeysDropsAndTips();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // The system may end the program without closing the window first.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::unloadOnce);
    run(&app::Form1::Form_Load);
}

MainWindow::~MainWindow() {
    // The views and bindings refer to Form1's controls: let them go first.
    delete takeCentralWidget();
}

void MainWindow::buildControls(QWidget* c) {
    controls::Form1Controls& controls = m_form->controls();

    auto* command8 = pictureButton(c, "Command8", QStringLiteral("Add Excel"), "add_excel.svg", 48,
                                   twipsRect(120, 0, 1210, 975));
    auto* command6 = pictureButton(c, "Command6", QStringLiteral("Add Folder"), "add_folder.svg",
                                   48, twipsRect(1440, 0, 1210, 975));
    auto* command7 = pictureButton(c, "Command7", QStringLiteral("Remove File"), "remove_file.svg",
                                   32, twipsRect(2760, 0, 1330, 975));

    auto* adapter1 = new ListModelAdapter(controls.ListView1, ListModelAdapter::CheckBoxes::No, c);
    adapter1->setSmallIcons(sourceListIcons());
    auto* listView1 =
        place(new ListView(adapter1, c), "ListView1", twipsRect(120, 1080, 10692, 2172));
    listView1->setIconSize(QSize(16, 16));
    auto* adapter2 = new ListModelAdapter(controls.ListView2, ListModelAdapter::CheckBoxes::Yes, c);
    auto* listView2 =
        place(new ListView(adapter2, c), "ListView2", twipsRect(120, 3360, 2292, 2652));
    auto* adapter3 = new ListModelAdapter(controls.ListView3, ListModelAdapter::CheckBoxes::Yes, c);
    auto* listView3 =
        place(new ListView(adapter3, c), "ListView3", twipsRect(2520, 3360, 2292, 2652));

    auto* command20 = plainButton(c, "Command20", QStringLiteral("Add All Excel Files"),
                                  twipsRect(120, 6120, 2175, 280));
    auto* command16 = plainButton(c, "Command16", QStringLiteral("Add All Sheets"),
                                  twipsRect(2520, 6120, 2295, 280));
    auto* command10 =
        arrowButton(c, "Command10", "arrow_right.svg", twipsRect(4800, 4200, 610, 375));
    auto* command11 =
        arrowButton(c, "Command11", "arrow_left.svg", twipsRect(4800, 4800, 610, 375));

    auto* option1 = place(new QRadioButton(c), "Option1", twipsRect(120, 6480, 2895, 200));
    auto* combo1 = place(new QComboBox(c), "Combo1", twipsRect(3120, 6480, 1695, 330));
    combo1->setEditable(false);
    auto* option2 = place(new QRadioButton(c), "Option2", twipsRect(120, 6840, 3370, 250));

    auto* adapter4 = new ListModelAdapter(controls.ListView4, ListModelAdapter::CheckBoxes::Yes, c);
    auto* listView4 =
        place(new ListView(adapter4, c), "ListView4", twipsRect(5400, 3360, 5412, 2652));
    auto* command17 =
        plainButton(c, "Command17", QStringLiteral("Remove All"), twipsRect(5400, 6120, 1335, 280));
    auto* text1 = place(new QLineEdit(c), "Text1", twipsRect(9600, 6840, 1215, 300));

    auto* command15 =
        arrowButton(c, "Command15", "arrow_down.svg", twipsRect(10800, 4800, 375, 735));
    auto* command14 = arrowButton(c, "Command14", "arrow_up.svg", twipsRect(10800, 3840, 375, 735));
    auto* command4 = arrowButton(c, "Command4", "arrow_down.svg", twipsRect(10800, 2400, 375, 735));
    auto* command5 = arrowButton(c, "Command5", "arrow_up.svg", twipsRect(10800, 1440, 375, 735));

    auto* command18 = pictureButton(c, "Command18", QStringLiteral("Merge"), "merge.svg", 48,
                                    twipsRect(5160, 0, 1575, 975));
    auto* command12 = pictureButton(c, "Command12", QStringLiteral("Help"), "help.svg", 32,
                                    twipsRect(6840, 0, 1335, 975));
    auto* command13 = pictureButton(c, "Command13", QStringLiteral("HomePage"), "homepage.svg", 48,
                                    twipsRect(8280, 0, 1215, 975));
    auto* command9 = pictureButton(c, "Command9", QStringLiteral("Exit"), "exit.svg", 32,
                                   twipsRect(9600, 0, 1215, 975));

    auto* label1 = place(new QLabel(c), "Label1", twipsRect(5400, 6840, 4092, 252));
    auto* progressBar1 =
        place(new QProgressBar(c), "ProgressBar1", twipsRect(120, 7200, 10975, 255));
    progressBar1->setTextVisible(false);
    auto* check1 = place(new QCheckBox(c), "Check1", twipsRect(6840, 6120, 3970, 250));
    auto* check2 = place(new QCheckBox(c), "Check2", twipsRect(5400, 6480, 5772, 252));

    // Tab order: the order of the controls above.
    const QList<QWidget*> tabOrder = {
        command8,  command6,  command7,  listView1, listView2, listView3, command20,
        command16, command10, command11, option1,   combo1,    option2,   listView4,
        command17, text1,     command15, command14, command4,  command5,  command18,
        command12, command13, command9,  check1,    check2};
    for (int i = 1; i < tabOrder.size(); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    bindLabel(controls.Label1, label1);
    bindCheckBox(controls.Check1, check1);
    bindCheckBox(controls.Check2, check2);
    bindProgressBar(controls.ProgressBar1, progressBar1);
    bindComboBox(controls.Combo1, combo1, [this] { run(&app::Form1::Combo1_Click); });
    bindTextBox(controls.Text1, text1, [this] { run(&app::Form1::Text1_LostFocus); });
    bindOptionGroup({{&controls.Option1, option1, [this] { run(&app::Form1::Option1_Click); }},
                     {&controls.Option2, option2, [this] { run(&app::Form1::Option2_Click); }}});

    const std::pair<QAbstractButton*, void (app::Form1::*)()> buttons[] = {
        {command8, &app::Form1::Command8_Click},   {command6, &app::Form1::Command6_Click},
        {command7, &app::Form1::Command7_Click},   {command20, &app::Form1::Command20_Click},
        {command16, &app::Form1::Command16_Click}, {command10, &app::Form1::Command10_Click},
        {command11, &app::Form1::Command11_Click}, {command17, &app::Form1::Command17_Click},
        {command15, &app::Form1::Command15_Click}, {command14, &app::Form1::Command14_Click},
        {command4, &app::Form1::Command4_Click},   {command5, &app::Form1::Command5_Click},
        {command18, &app::Form1::Command18_Click}, {command12, &app::Form1::Command12_Click},
        {command13, &app::Form1::Command13_Click}, {command9, &app::Form1::Command9_Click},
    };
    for (const auto& [button, handler] : buttons) {
        connect(button, &QAbstractButton::clicked, this,
                [this, handler = handler] { run(handler); });
    }
    connect(listView1, &ListView::userClickedItem, this,
            [this] { run(&app::Form1::ListView1_ItemClick); });
    connect(listView2, &ListView::userClickedItem, this,
            [this] { run(&app::Form1::ListView2_ItemClick); });
    connect(listView3, &ListView::userDoubleClicked, this,
            [this] { run(&app::Form1::ListView3_DblClick); });
    connect(listView4, &ListView::userDoubleClicked, this,
            [this] { run(&app::Form1::ListView4_DblClick); });
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    bar->setFont(arial(8.4));
    auto addItem = [this](QMenu* menu, const char* name, const QString& text,
                          void (app::Form1::*handler)()) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, handler] { run(handler); });
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    addItem(file, "Addexcel", QStringLiteral("&Add Excel File"), &app::Form1::Addexcel_Click);
    addItem(file, "AddFolder", QStringLiteral("Add All Excel Files in &Folder"),
            &app::Form1::AddFolder_Click);
    addFolderScanItem(file);
    addJobItems(file, addItem);
    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("EditMenu"));
    addItem(edit, "RemoveItem", QStringLiteral("&Remove List Item"), &app::Form1::RemoveItem_Click);
    addItem(edit, "RemoveAll", QStringLiteral("Remove &All List Items"),
            &app::Form1::RemoveAll_Click);
    addSheetFilterItem(edit, addItem);
    addPreviewCommand(edit);
    QMenu* actions = bar->addMenu(QStringLiteral("&Actions"));
    actions->setObjectName(QStringLiteral("ActionsMenu"));
    addItem(actions, "Merge", QStringLiteral("&Merge"), &app::Form1::Merge_Click);
    addSheetNamesMenu(bar);
    addMergeOptionsMenu(bar);
    // The menu-bar entry itself is the command.
    QAction* settings = bar->addAction(QStringLiteral("&Settings"));
    settings->setObjectName(QStringLiteral("Settings"));
    connect(settings, &QAction::triggered, this, [this] { run(&app::Form1::Settings_Click); });
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    addItem(help, "Help", QStringLiteral("&Help"), &app::Form1::Help_Click);
    addItem(help, "HomePage", QStringLiteral("Home&Page"), &app::Form1::HomePage_Click);
    addItem(help, "About", QStringLiteral("&About"), &app::Form1::About_Click);
}

// The one-workbook merge's naming of its copies: three exclusive checkable items whose checks
// follow the form's choice each time the menu opens (an opened job may have changed it).
void MainWindow::addSheetNamesMenu(QMenuBar* bar) {
    QMenu* menu = bar->addMenu(QStringLiteral("Sheet &Names"));
    menu->setObjectName(QStringLiteral("SheetNamesMenu"));
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    struct Choice {
        const char* name;
        const char* text;
        controls::SheetNamesChoice choice;
        void (app::Form1::*handler)();
    };
    static const Choice choices[] = {
        {"SheetNamesSource", "&Source Sheet Names", controls::SheetNamesChoice::SourceSheet,
         &app::Form1::SheetNamesSource_Click},
        {"SheetNamesFile", "&File Names", controls::SheetNamesChoice::File,
         &app::Form1::SheetNamesFile_Click},
        {"SheetNamesFileSheet", "File &and Sheet Names", controls::SheetNamesChoice::FileAndSheet,
         &app::Form1::SheetNamesFileSheet_Click},
    };
    for (const Choice& choice : choices) {
        QAction* action = menu->addAction(QString::fromLatin1(choice.text));
        action->setObjectName(QString::fromLatin1(choice.name));
        action->setCheckable(true);
        group->addAction(action);
        auto handler = choice.handler;
        connect(action, &QAction::triggered, this, [this, handler] { run(handler); });
        const controls::SheetNamesChoice value = choice.choice;
        connect(menu, &QMenu::aboutToShow, action, [this, action, value] {
            action->setChecked(m_form->controls().sheetNames == value);
        });
        action->setChecked(m_form->controls().sheetNames == value);
    }
}

void MainWindow::addMergeOptionsMenu(QMenuBar* bar) {
    QMenu* menu = bar->addMenu(QStringLiteral("&Merge Options"));
    menu->setObjectName(QStringLiteral("MergeOptionsMenu"));
    // Without a status bar the status tips would go unseen; the menu shows them as tool tips.
    menu->setToolTipsVisible(true);
    auto addOption = [this, menu](const char* name, const QString& text, const QString& tip,
                                  void (app::Form1::*handler)()) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setStatusTip(tip);
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, [this, handler] { run(handler); });
        return action;
    };
    QAction* matchHeaders = addOption(
        "MatchHeaders", QStringLiteral("&Match Columns by Header"),
        QStringLiteral("Vertical merge only: each block's columns go under the column of the same "
                       "header, and a header not seen before adds a column."),
        &app::Form1::MatchHeaders_Click);
    QAction* sourceColumn = addOption(
        "SourceColumn", QStringLiteral("&Source Column"),
        QStringLiteral("A first column (vertical) or row (horizontal) naming each block's file "
                       "and sheet."),
        &app::Form1::SourceColumn_Click);
    QAction* headerRow = addOption(
        "HeaderRow", QString(),
        QStringLiteral("The row of every block that holds its headers; the rows above it are "
                       "titles and are left out."),
        &app::Form1::HeaderRow_Click);
    matchHeaders->setCheckable(true);
    sourceColumn->setCheckable(true);
    // The controls hold the options (an opened job may change them); the items show them.
    auto follow = [this, matchHeaders, sourceColumn, headerRow] {
        const controls::Form1Controls& c = m_form->controls();
        matchHeaders->setChecked(c.matchHeaders);
        sourceColumn->setChecked(c.sourceColumn);
        headerRow->setText(QStringLiteral("&Header Row: %1...").arg(c.headerRow));
    };
    follow();
    connect(menu, &QMenu::aboutToShow, this, follow);
    for (QAction* action : {matchHeaders, sourceColumn, headerRow}) {
        connect(action, &QAction::triggered, this, follow);
    }
}

void MainWindow::addFolderScanItem(QMenu* file) {
    QAction* subfolders = file->addAction(QStringLiteral("Include S&ubfolders"));
    subfolders->setObjectName(QStringLiteral("IncludeSubfolders"));
    subfolders->setCheckable(true);
    subfolders->setChecked(m_form->controls().includeSubfolders);
    connect(subfolders, &QAction::triggered, this, [this, subfolders] {
        run(&app::Form1::IncludeSubfolders_Click);
        // The controls hold the setting; the check mark shows it.
        subfolders->setChecked(m_form->controls().includeSubfolders);
    });
}

void MainWindow::run(void (app::Form1::*handler)()) {
    run([this, handler] { ((*m_form).*handler)(); });
}

void MainWindow::run(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        m_messages->showMessage(error.what(), controls::MessageIcon::Critical);
    } catch (...) {
        m_messages->showMessage("An unexpected error stopped the command.",
                                controls::MessageIcon::Critical);
    }
}

void MainWindow::unloadOnce() {
    if (m_unloaded) {
        return;
    }
    m_unloaded = true;
    run(&app::Form1::Form_Unload);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The window never refuses to close.
    unloadOnce();
    event->accept();
}

void MainWindow::showSettingsDialog() {
    SettingsDialogView dialog(m_folders.state, this, m_messages);
    // The merges read text sources as the dialog was left, even when its file could not be
    // written.
    if (dialog.exec() == QDialog::Accepted) {
        m_form->controls().textDialect = dialog.dialog().textDialect();
    }
}

std::optional<std::string> MainWindow::askSheetFilter(const std::string& current) {
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("SheetFilterDialog"));
    dialog.setWindowTitle(QStringLiteral("Sheet Filter"));
    dialog.setLabelText(QStringLiteral(
        "Add All Sheets and Add All Excel Files queue only the worksheets whose name matches.\n"
        "Patterns are separated by blanks or semicolons; \"-\" or \"!\" before one leaves out\n"
        "what it matches. * any text, ? one character, [a-c] one of a set, [!a] any but a;\n"
        "letters match in either case; \\ before a blank keeps it in the pattern.\n"
        "Example: Sales* Q? -Notes. Empty: every worksheet."));
    dialog.setTextValue(QString::fromStdString(current));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue().toStdString();
}

std::optional<int32_t> MainWindow::askHeaderRow(int32_t current) {
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("HeaderRowDialog"));
    dialog.setWindowTitle(QStringLiteral("Header Row"));
    dialog.setLabelText(
        QStringLiteral("The row of every worksheet that holds its column headers (1 is the first\n"
                       "row of its used range). The rows above it are titles and are left out."));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(1, engine::kMaxRows);
    dialog.setIntValue(current);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.intValue();
}

void MainWindow::showAboutBox() {
    AboutBoxView dialog(m_shell, this);
    dialog.exec();
}

}  // namespace plyfold::gui

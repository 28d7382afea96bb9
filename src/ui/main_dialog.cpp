#include "ui/main_dialog.h"
#include "ui/main_dialog_names.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QValidator>
#include <array>

#include "host/base_folder.h"
#include "i18n/language.h"
#include "i18n/language_names.h"
#include "imaging/imaging_library.h"
#include "imaging/photo.h"
#include "resources/resource.h"
#include "settings/keys.h"
#include "settings/store.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/apply_language.h"
#include "ui/black_frame.h"
#include "ui/menu_templates.h"

namespace ui {

namespace {

const QString kHomepageUrl = QStringLiteral("https://www.veltrix.example/tessiva/");

/// The turns the rotate radios stand for, in their order.
constexpr std::array kRotateAngles{0, 90, 180, 270};
/// The metadata menu's commands and the stored choice each stands for.
constexpr std::array<std::pair<int, int>, 3> kMetadataCommands{
    {{IDM_METADATA_RIGHTS, 0}, {IDM_METADATA_ALL, 1}, {IDM_METADATA_NONE, 2}}};

/// Keeps typing and pasting within a length, like the platform's edit limit:
/// a longer text put in by the program stays, and may still be shortened.
class LengthLimit final : public QValidator {
public:
    LengthLimit(QLineEdit* edit, int limit)
        : QValidator(edit), m_limit(limit), m_committed(edit->text().size()) {
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& text) { m_committed = text.size(); });
    }
    State validate(QString& input, int&) const override {
        return input.size() > m_limit && input.size() > m_committed ? Invalid : Acceptable;
    }

private:
    int m_limit;
    qsizetype m_committed;  // length of the text before the change being validated
};

/// The index of @p value in @p values, or -1.
template <size_t N>
int IndexOf(const std::array<int, N>& values, int value) {
    for (size_t i = 0; i < N; ++i)
        if (values[i] == value) return static_cast<int>(i);
    return -1;
}

}  // namespace

MainDialog::MainDialog(settings::Store& store, PlatformServices& platform, QWidget* parent)
    : QDialog(parent), m_store(store), m_platform(platform) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_textFont = settings::ReadFont(m_store, settings::kCurrentFont, {-13, 400, QString()});
    m_textColour = settings::ReadColour(m_store, settings::kCurrentColor);
    m_convertToSrgb = m_store.Get(settings::kConvertToSrgb) != 0;
    m_autoOrient = m_store.Get(settings::kAutoOrient) != 0;
    m_textUpright = m_store.Get(settings::kTextUpright) != 0;
    m_showResult = m_store.Get(settings::kShowResult) != 0;
    m_keepProportions = m_store.Get(settings::kKeepProportions) != 0;
    m_metadata = m_store.Get(settings::kMetadata);
    if (m_metadata < 0 || m_metadata > 2) m_metadata = 0;
}

MainDialog::~MainDialog() {
    // Children outlive this object's members; a focused edit must not report
    // its focus loss into a half-destroyed dialog.
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        edit->removeEventFilter(this);
        edit->disconnect(this);
    }
}

void MainDialog::Create() {
    if (m_created) return;
    m_created = true;
    const auto& tmpl = MainDialogTemplate();
    m_built = BuildDialog(*this, tmpl, DialogFont(tmpl.fontPointSize));
    m_controls = FindMainControls(m_built);
    m_controls.outputFile->setValidator(
        new LengthLimit(m_controls.outputFile, kMaxOutputPathLength));
    ConnectHandlers();
    AddShortcuts();
    AcceptDroppedFiles();
    OnInitDialog();
}

int MainDialog::DoModal() {
    Create();
    return exec();
}

void MainDialog::ConnectHandlers() {
    const MainControls& c = m_controls;
    const auto onClick = [this](QPushButton* button, void (MainDialog::*handler)()) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    onClick(c.openPhoto, &MainDialog::OnOpenPhoto);
    onClick(c.convert, &MainDialog::OnConvert);
    onClick(c.browse, &MainDialog::OnBrowse);
    onClick(c.font, &MainDialog::OnFont);
    onClick(c.baseWidth, &MainDialog::OnBaseWidth);
    onClick(c.baseHeight, &MainDialog::OnBaseHeight);
    onClick(c.exit, &MainDialog::OnExit);
    onClick(c.help, &MainDialog::OnHelp);
    onClick(c.homepage, &MainDialog::OnHomepage);
    connect(c.frameNumber, &QLineEdit::textChanged, this, &MainDialog::OnFrameNumberChanged);
    for (QLineEdit* edit : {c.frameNumber, c.textX, c.textY}) edit->installEventFilter(this);
    // The result preview follows every field it depends on.
    for (QLineEdit* edit : {c.outputWidth, c.outputHeight, c.text, c.textX, c.textY})
        connect(edit, &QLineEdit::textChanged, this, [this] {
            if (m_showResult) ShowPreview();
        });
    // Typed, not set by the program: with proportions kept, one side sets the other.
    connect(c.outputWidth, &QLineEdit::textEdited, this, [this] {
        if (m_keepProportions) FollowTypedSide(true);
    });
    connect(c.outputHeight, &QLineEdit::textEdited, this, [this] {
        if (m_keepProportions) FollowTypedSide(false);
    });
    connect(c.frameDimension, &QComboBox::activated, this, &MainDialog::OnFrameDimensionChanged);
    for (size_t i = 0; i < c.rotate.size(); ++i)
        connect(c.rotate[i], &QAbstractButton::clicked, this, [this, i] {
            m_rotateAngle = kRotateAngles[i];
            ShowPreview();
        });
    for (size_t i = 0; i < c.flip.size(); ++i)
        connect(c.flip[i], &QAbstractButton::clicked, this, [this, i] {
            m_flipType = static_cast<int32_t>(i);
            ShowPreview();
        });
}

MsgResult MainDialog::Message(const QString& text, const QString& caption, MsgButtons buttons,
                              MsgIcon icon) {
    return m_platform.MessageBox(this, text, caption, buttons, icon);
}

bool MainDialog::ReadOutputFile() {
    m_outputFile = m_controls.outputFile->text();
    if (m_outputFile.size() <= kMaxOutputPathLength) return true;
    Message(QStringLiteral("Enter no more than %1 characters.").arg(kMaxOutputPathLength),
            QCoreApplication::applicationName(), MsgButtons::Ok, MsgIcon::Exclamation);
    m_controls.outputFile->setFocus();
    return false;
}

void MainDialog::OnInitDialog() {
    setWindowIcon(LoadAppIcon());

    ApplyLanguageToDialog(i18n::g_Language, *this, IDD_PROGRAM_TIF);
    AssignMnemonics();
    NameControlsForReaders();
    RestoreOutputFolder();
    const MainControls& c = m_controls;
    for (QLineEdit* edit : {c.outputFile, c.outputWidth, c.outputHeight}) edit->setEnabled(false);

    RestoreRotateAndFlip();
    m_imaging = std::make_unique<imaging::LibrarySession>();
    // A cached operation holds its input: a turned output, held whole, stayed
    // with each conversion (156 MB grew to 761 MB over ten).
    imaging::KeepNoOperations();

    c.frameDimension->hide();
    c.frameNumber->hide();
    c.frameRange->hide();
    c.textX->setText(QStringLiteral("0"));
    c.textY->setText(QStringLiteral("0"));

    // Without a stored face the overlay starts in the dialog's own font.
    if (m_textFont.family().isEmpty()) m_textFont = settings::ResolvedFont(font());
    c.fontFace->setText(m_textFont.family());

    ShowPreview();  // the remembered turn shows before any photo
    c.openPhoto->setFocus();
}

void MainDialog::RestoreOutputFolder() {
    QString defaultFolder;
    if (const auto pictures = m_platform.PicturesFolder()) {
        defaultFolder = *pictures + PathSeparator();
    } else {
        Message(QStringLiteral("Can not get My Picture directory!"), QStringLiteral("Error"));
        defaultFolder = m_platform.FallbackFolder();
    }
    m_outputFolder = m_store.Get(settings::kLastOutputFolder, defaultFolder);
    m_outputFile = m_outputFolder;
    m_controls.outputFile->setText(m_outputFile);
}

void MainDialog::RestoreRotateAndFlip() {
    m_rotateAngle = m_store.Get(settings::kRotateAngle);
    if (const int index = IndexOf(kRotateAngles, m_rotateAngle); index >= 0)
        m_controls.rotate[static_cast<size_t>(index)]->setChecked(true);
    else
        Message(QStringLiteral("Unknown rotate angle!"), QStringLiteral("Error"));

    m_flipType = m_store.Get(settings::kFlipType);
    if (m_flipType >= 0 && m_flipType < static_cast<int32_t>(m_controls.flip.size()))
        m_controls.flip[static_cast<size_t>(m_flipType)]->setChecked(true);
    else
        Message(QStringLiteral("Unknown flip type!"), QStringLiteral("Error"));
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // A focused push button takes Enter as a click; anywhere else it is OK.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        else
            OnOK();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MainDialog::OnOK() {
    if (ReadOutputFile()) accept();
}

void MainDialog::closeEvent(QCloseEvent* event) {
    OnClose();
    QDialog::closeEvent(event);
}

void MainDialog::OnClose() {
    SaveSettings();
}

void MainDialog::OnExit() {
    SaveSettings();
    reject();
}

void MainDialog::SaveSettings() {
    ReadOutputFile();
    {
        settings::Store::Batch batch(m_store);
        m_store.Set(settings::kRotateAngle, m_rotateAngle);
        m_store.Set(settings::kFlipType, m_flipType);
        m_store.Set(settings::kCurrentLanguage, g_Language.GetCurrentLanguage());
        m_store.Set(settings::kLastOutputFolder, m_outputFolder);
        settings::WriteFont(m_store, settings::kCurrentFont, m_textFont);
        settings::WriteColour(m_store, settings::kCurrentColor, m_textColour);
    }
    m_frameDimensions.clear();
    m_frameCounts.clear();
    m_photo.reset();
    m_imaging.reset();
}

void MainDialog::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton &&
        m_controls.picture->geometry().contains(event->position().toPoint())) {
        ShowFullSize();
        return;
    }
    QDialog::mouseDoubleClickEvent(event);
}

void MainDialog::mouseReleaseEvent(QMouseEvent* event) {
    // Only the dialog's own surface: controls that take the mouse keep their clicks.
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::RightButton && !childAt(point)) {
        ShowPopupMenu(point);
        event->accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void MainDialog::OnCommand(int id) {
    OnLanguageCommand(id);
    if (id == IDM_ABOUT) OnAbout();
    if (id == IDM_POPUPMENU_FONT) OnPopupMenuFont();
    if (id == IDM_CONVERT_TO_SRGB) ToggleStoredChoice(m_convertToSrgb, settings::kConvertToSrgb);
    if (id == IDM_AUTO_ORIENT) {
        ToggleStoredChoice(m_autoOrient, settings::kAutoOrient);
        // The open photo turns at once: its size and preview follow.
        if (m_photo && m_photo->Width() > 0) {
            m_photo->SetUpright(m_autoOrient);
            TakeActiveFrameSize();
            RefreshPreview();
        }
    }
    if (id == IDM_TEXT_UPRIGHT) ToggleStoredChoice(m_textUpright, settings::kTextUpright);
    if (id == IDM_SHOW_RESULT) ToggleStoredChoice(m_showResult, settings::kShowResult);
    if (id == IDM_SHOW_FULL_SIZE) ShowFullSize();
    if (id == IDM_KEEP_PROPORTIONS)
        ToggleStoredChoice(m_keepProportions, settings::kKeepProportions);
    for (const auto& [command, choice] : kMetadataCommands) {
        if (id != command) continue;
        m_metadata = choice;
        m_store.Set(settings::kMetadata, choice);
    }
    ShowPreview();
}

void MainDialog::ToggleStoredChoice(bool& choice, const settings::IntKey& key) {
    choice = !choice;
    m_store.Set(key, choice ? 1 : 0);
}

void MainDialog::ShowPopupMenu(const QPoint& point) {
    const std::unique_ptr<QMenu> loaded = LoadMenu(IDR_MENU_LANGUAGE_POPUP, this);
    if (!loaded) {
        m_platform.MessageBox(nullptr, QStringLiteral("Can not find Language Menu!"),
                              QStringLiteral("error"));
        return;
    }
    QMenu* popup = loaded->actions().value(0) ? loaded->actions().value(0)->menu() : nullptr;
    if (!popup) return;
    FillLanguageMenu(*loaded, *popup);
    for (QAction* item : popup->actions()) {
        if (QMenu* choices = item->menu())
            for (QAction* choice : choices->actions())
                for (const auto& [command, value] : kMetadataCommands)
                    if (choice->data().toInt() == command) choice->setChecked(m_metadata == value);
        if (item->data().toInt() == IDM_CONVERT_TO_SRGB) item->setChecked(m_convertToSrgb);
        if (item->data().toInt() == IDM_AUTO_ORIENT) item->setChecked(m_autoOrient);
        if (item->data().toInt() == IDM_TEXT_UPRIGHT) item->setChecked(m_textUpright);
        if (item->data().toInt() == IDM_SHOW_RESULT) item->setChecked(m_showResult);
        if (item->data().toInt() == IDM_KEEP_PROPORTIONS) item->setChecked(m_keepProportions);
    }
    if (const int command = m_platform.TrackPopupMenu(*popup, mapToGlobal(point)))
        OnCommand(command);
}

void MainDialog::FillLanguageMenu(QMenu& loaded, QMenu& popup) {
    QAction* languageItem = popup.actions().value(0);
    QMenu* languages = languageItem ? languageItem->menu() : nullptr;
    if (!languages) return;
    if (QAction* placeholder = languages->actions().value(0)) {
        languages->removeAction(placeholder);
        delete placeholder;
    }
    const QString current = g_Language.GetCurrentLanguage();
    for (int i = 0; i < g_Language.GetLanguageCount(); ++i) {
        const QString name = g_Language.GetLanguageName(i);
        QAction* item =
            languages->addAction(i18n::MenuNameOf(name).replace(u'&', QStringLiteral("&&")));
        item->setData(res::ID_LANGUAGE_FIRST + i);
        item->setCheckable(true);
        item->setChecked(name.compare(current, Qt::CaseInsensitive) == 0);
    }
    ApplyLanguageToMenu(i18n::g_Language, loaded, IDR_MENU_LANGUAGE_POPUP);
}

void MainDialog::OnLanguageCommand(int command) {
    if (command >= ID_LANGUAGE_FIRST && command <= ID_LANGUAGE_LAST) SwitchLanguage(command);
}

void MainDialog::SwitchLanguage(int id) {
    g_Language.SelectLanguage(g_Language.GetLanguageName(id - ID_LANGUAGE_FIRST));
    ApplyLanguageToDialog(i18n::g_Language, *this, IDD_PROGRAM_TIF);
    AssignMnemonics();
    NameControlsForReaders();
}

namespace {

/// The text of a button or a label.
QString TextOf(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    return static_cast<const QAbstractButton*>(control)->text();
}

void SetTextOf(QWidget* control, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(control)) return label->setText(text);
    static_cast<QAbstractButton*>(control)->setText(text);
}

/// Where @p text marks its mnemonic with a single ampersand; -1 for none.
qsizetype MnemonicAt(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] != u'&') return i + 1;
        ++i;  // "&&" is an ampersand
    }
    return -1;
}

}  // namespace

void MainDialog::AssignMnemonics() {
    const MainControls& c = m_controls;
    // In the order Tab visits them, so the first controls get the first letters.
    std::vector<QWidget*> controls{
        c.openPhoto,      c.exit,       c.convert,          c.browse,
        c.baseWidth,      c.baseHeight, c.outputWidthLabel, c.outputHeightLabel,
        c.outputFileLabel};
    controls.insert(controls.end(), c.rotate.begin(), c.rotate.end());
    controls.insert(controls.end(), c.flip.begin(), c.flip.end());
    for (QWidget* control : {static_cast<QWidget*>(c.homepage), static_cast<QWidget*>(c.help),
                             static_cast<QWidget*>(c.font), static_cast<QWidget*>(c.positionLabel),
                             static_cast<QWidget*>(c.textLabel)})
        controls.push_back(control);
    // A language file's own ampersands stand; the others are chosen here: a
    // word's first letter where one is free, else any letter, the shortest
    // texts (with the fewest to choose from) first. A text may go without.
    QSet<QChar> taken;
    std::vector<QWidget*> open;
    for (QWidget* control : controls) {
        if (const qsizetype at = MnemonicAt(TextOf(control)); at >= 0)
            taken.insert(TextOf(control)[at].toLower());
        else
            open.push_back(control);
    }
    const auto choose = [&](QWidget* control, bool wordStartsOnly) {
        const QString text = TextOf(control);
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar letter = text[i].toLower();
            // Only a letter a keyboard types as it is, of an alphabet: ideographs
            // come through an input method, and take the language file's own
            // marks, as "(&O)".
            const QChar::Script script = letter.script();
            const bool typeable =
                letter.isDigit() || (letter.isLetter() && (script == QChar::Script_Latin ||
                                                           script == QChar::Script_Cyrillic ||
                                                           script == QChar::Script_Greek));
            if (!typeable || taken.contains(letter)) continue;
            if (wordStartsOnly && i > 0 && text[i - 1].isLetterOrNumber()) continue;
            taken.insert(letter);
            SetTextOf(control, QString(text).insert(i, u'&'));
            return true;
        }
        return false;
    };
    std::erase_if(open, [&](QWidget* control) { return choose(control, true); });
    std::stable_sort(open.begin(), open.end(), [](const QWidget* a, const QWidget* b) {
        return TextOf(a).size() < TextOf(b).size();
    });
    for (QWidget* control : open) choose(control, false);
}

void MainDialog::NameControlsForReaders() {
    const MainControls& c = m_controls;
    // A screen reader names a field by its label (its buddy); the labels are
    // the language's, so the names follow every switch.
    const auto plain = [](const QLabel* label) {
        return label->text().remove(u'&').remove(u':').trimmed();
    };
    const std::pair<QLabel*, QWidget*> labelled[] = {{c.outputWidthLabel, c.outputWidth},
                                                     {c.outputHeightLabel, c.outputHeight},
                                                     {c.outputFileLabel, c.outputFile},
                                                     {c.textLabel, c.text},
                                                     {c.positionLabel, c.textX}};
    for (const auto& [label, field] : labelled) {
        label->setBuddy(field);
        field->setAccessibleName(plain(label));
    }
    c.textX->setAccessibleName(plain(c.positionLabel) + QStringLiteral(" (x)"));
    c.textY->setAccessibleName(plain(c.positionLabel) + QStringLiteral(" (y)"));
    c.picture->setAccessibleName(g_Language.GetString(Text::PreviewName));
    c.frameDimension->setAccessibleName(g_Language.GetString(Text::FrameName));
    c.frameNumber->setAccessibleName(g_Language.GetString(Text::FrameName));
}

void MainDialog::OnPopupMenuFont() {
    const QFont initial = g_Language.GetUIFont().value_or(font());
    if (const auto chosen = m_platform.ChooseFont(this, initial, false)) {
        g_Language.SetUIFont(chosen->font);  // a colour chosen here has no use
        ApplyLanguageToDialog(i18n::g_Language, *this, IDD_PROGRAM_TIF);
    }
}

void MainDialog::OnAbout() {
    AboutDialog about(this);
    m_platform.RunModal(about);
}

void MainDialog::OnHelp() {
    const QChar separator = host::PathSeparator();
    m_platform.ShowHelpPage(host::GetBaseFolder() + separator + QStringLiteral("help") + separator +
                            QStringLiteral("Introduction.htm"));
}

void MainDialog::OnHomepage() {
    if (m_platform.OpenUrl(kHomepageUrl)) return;
    Message(QStringLiteral("Tessiva could not start your web browser to show its home page.\n"
                           "Please start the browser yourself and go to %1")
                .arg(kHomepageUrl),
            g_Language.GetString(Text::UnknownErrorCaption));
}

}  // namespace ui

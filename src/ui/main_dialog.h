#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "decoder/limits.h"
#include "ui/dialog_builder.h"
#include "ui/main_controls.h"
#include "ui/platform_services.h"

class QButtonGroup;
class QLineEdit;
class QMenu;
namespace settings {
class Store;
struct IntKey;
}  // namespace settings
namespace imaging {
enum class FrameKind;
class LibrarySession;
class Photo;
struct ConversionRequest;
}  // namespace imaging

namespace ui {

class ResultView;

/// A designed message with the library's or the system's @p reason on a line
/// of its own, when there is one.
QString WithReason(const QString& message, const QString& reason);

/// The program's one window: the photo, its output settings and the commands
/// that act on them. Its members are the state all commands share.
class MainDialog : public QDialog {
    Q_OBJECT
public:
    /// Reads the overlay font and colour from @p store; creates no controls yet.
    MainDialog(settings::Store& store, PlatformServices& platform, QWidget* parent = nullptr);
    ~MainDialog() override;

    /// Creates the controls from the dialog template and initialises them; once.
    void Create();
    /// Creates the dialog if needed and runs it modally.
    int DoModal();

    /// The control a language file and the template know by @p id, or nullptr
    /// (for tests and tools, which drive the dialog as a user would).
    QWidget* ControlById(int id) const { return m_built.item(id); }

    int RotateAngle() const { return m_rotateAngle; }
    int FlipType() const { return m_flipType; }
    bool ConvertsToSrgb() const { return m_convertToSrgb; }
    bool OpensUpright() const { return m_autoOrient; }
    const QString& OutputFile() const { return m_outputFile; }
    const QFont& TextFont() const { return m_textFont; }
    const QColor& TextColor() const { return m_textColour; }

    /// The longest output path the output-file field takes.
    static constexpr int kMaxOutputPathLength = 256;

    /// Runs menu command @p id as the dialog's command handling does.
    void OnCommand(int id);
    /// The window of the result at full size while it shows; null otherwise.
    ResultView* ShownResultView() const { return m_resultView; }

    /// Opens photos with @p loader instead of the imaging library (tests).
    using PhotoLoader = std::function<std::unique_ptr<imaging::Photo>(const QString&)>;
    void SetPhotoLoader(PhotoLoader loader) { m_loadPhoto = std::move(loader); }

    /// The opened photo, or nullptr.
    imaging::Photo* GetPhoto() const { return m_photo.get(); }
    int OutputWidth() const { return m_outputWidth; }
    int OutputHeight() const { return m_outputHeight; }

    /// Reads both size fields into the output size; false, after saying which
    /// side is invalid, when one is not positive.
    bool CheckOutputSize();

    /// Opens @p path as Open Photo does with a chosen file: the same checks,
    /// messages and output name.
    void OpenPhotoFile(const QString& path);
    /// Opens @p path that way as soon as the dialog runs (a file given at start).
    void OpenAtStart(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// On the preview (which takes no clicks of its own): the result at full size.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Takes the output field's path; false, after saying so, when it is too long.
    bool ReadOutputFile();
    void OnInitDialog();
    void RestoreOutputFolder();
    void RestoreRotateAndFlip();
    void OnOK();
    void OnClose();
    void OnExit();
    void SaveSettings();
    void OnAbout();
    /// Shows the result the fields ask for at full size, in a window of its own.
    void ShowFullSize();
    void OnHelp();
    void OnHomepage();
    void OnOpenPhoto();
    void AddShortcuts();
    void AcceptDroppedFiles();
    /// Handles a drag or drop event that carries a local file; false for others.
    bool TakeFileDrop(QEvent* event);
    void ShowFrames();
    void ShowPhotoInfo();
    /// After a frame change: the photo size is the new frame's own; size fields
    /// still holding the previous frame's size follow it.
    void TakeActiveFrameSize();
    /// Shows the preview of a photo just opened, or of another frame.
    void RefreshPreview();
    /// Gives the fields, the preview and the frame controls the names screen readers say.
    void NameControlsForReaders();
    /// Gives each button and labelled field a letter that reaches it with Alt:
    /// a language file's own, else the first of its text still free.
    void AssignMnemonics();
    /// Shows the preview again: the designed stretched photo, or the result
    /// when that is chosen, after a field, radio or option changed.
    void ShowPreview();
    QImage ResultPreview(const QSize& pixels);
    /// Says that the photo is damaged and shown and converted as far as it reads, and why.
    /// Says that the photo is damaged, and whether any of it could be @p shown.
    void WarnOfDamage(const QString& reason, bool shown = true);
    /// The conversion the fields ask for, at @p output pixels before turning.
    imaging::ConversionRequest RequestFor(QSize output) const;
    /// What one photo may cost on the desktop: as much as its output bitmap may hold.
    static decoder::Limits PhotoLimits();
    bool FrameEditTarget(int* dimension, int32_t* number) const;
    void OnFrameNumberChanged();
    void OnFrameNumberLeft();
    void OnFrameDimensionChanged(int index);
    void OnBaseWidth();
    void OnBaseHeight();
    /// The calculator: reads the typed side, writes the other in the photo's proportions.
    void FillProportionalSide(const QLineEdit* typedField, int32_t* typed, int32_t photoTyped,
                              QLineEdit* otherField, int32_t* other, int32_t photoOther);
    /// True when @p photo (opened from @p path) has both sides; else says which it lacks, and why.
    /// Sets the other side of the output as the calculator would, silently,
    /// once the typed side (the width when @p width) is a size.
    void FollowTypedSide(bool width);
    bool PhotoSizeKnown(const imaging::Photo& photo, const QString& path);
    void CheckPositionAgainstPhoto();
    /// The text position as typed in its two fields.
    QPoint TypedTextPosition() const;
    void OnConvert();
    void ConvertPhoto();
    void OnBrowse();
    void OnFont();
    void OnTextPositionLeft(const QLineEdit* field);
    void OnPopupMenuFont();
    void ToggleStoredChoice(bool& choice, const settings::IntKey& key);
    void ShowPopupMenu(const QPoint& point);
    void FillLanguageMenu(QMenu& loaded, QMenu& popup);
    void OnLanguageCommand(int command);
    void SwitchLanguage(int id);
    void ConnectHandlers();
    MsgResult Message(const QString& text, const QString& caption,
                      MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None);

    settings::Store& m_store;
    PlatformServices& m_platform;
    BuiltDialog m_built;
    MainControls m_controls;
    bool m_created = false;

    QString m_photoPath;
    QString m_outputPath;
    QString m_outputFolder;
    QString m_outputFile;
    std::unique_ptr<imaging::LibrarySession> m_imaging;
    int32_t m_photoWidth = 0;
    int32_t m_photoHeight = 0;
    int32_t m_outputWidth = 0;
    int32_t m_outputHeight = 0;
    int32_t m_rotateAngle = 0;
    int32_t m_flipType = 0;
    std::unique_ptr<imaging::Photo> m_photo;
    QImage m_frameCopy;  // the active frame as shown, small, for the result preview
    std::vector<imaging::FrameKind> m_frameDimensions;
    std::vector<uint32_t> m_frameCounts;  // frames in each dimension
    PhotoLoader m_loadPhoto;
    QString m_photoAtStart;
    QFont m_textFont;
    QColor m_textColour;
    bool m_convertToSrgb = false;        // else stored colour values, the profile carried
    bool m_autoOrient = false;           // photos opened upright by the camera's orientation
    bool m_textUpright = false;          // text drawn after the turn, in the output's frame
    bool m_showResult = false;           // the picture frame shows the result, not the photo
    bool m_keepProportions = false;      // typing one side of the output sets the other
    ResultView* m_resultView = nullptr;  // while the result shows at full size
    int m_metadata = 0;                  // what travels: 0 rights, 1 all, 2 none
};

}  // namespace ui

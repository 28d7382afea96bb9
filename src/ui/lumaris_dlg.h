#pragma once

#include <QDialog>
#include <QString>
#include <QUuid>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "overlay/log_font.h"
#include "ui/dialog_builder.h"
#include "ui/platform_services.h"

class QButtonGroup;
class QComboBox;
class QMenu;
class SettingsStore;
namespace imaging {
class LibrarySession;
class Photo;
}  // namespace imaging

/// The program's one window: the photo, its output settings and the commands
/// that act on them. Its members are the state all commands share.
class CLumarisDlg : public QDialog {
    Q_OBJECT
public:
    /// Reads the overlay font and colour from @p store; creates no controls yet.
    CLumarisDlg(SettingsStore& store, PlatformServices& platform, QWidget* parent = nullptr);
    ~CLumarisDlg() override;

    /// Creates the controls from the dialog template and initialises them; once.
    void Create();
    /// Creates the dialog if needed and runs it modally.
    int DoModal();

    /// The control with the template id @p id, or nullptr.
    QWidget* GetDlgItem(int id) const { return m_built.item(id); }

    /// Exchanges data between members and controls: towards the controls when
    /// @p saveAndValidate is false, from them (with validation) when true.
    bool UpdateData(bool saveAndValidate = true);

    int RotateAngle() const { return m_nRotateAngle; }
    int FlipType() const { return m_nFlipType; }
    bool ConvertsToSrgb() const { return m_bConvertToSrgb; }
    bool OpensUpright() const { return m_bAutoOrient; }
    const QString& OutputFile() const { return m_strOutputFile; }
    const QString& OutputFolder() const { return m_strOutputFolder; }
    const LogFont& TextFont() const { return m_lfText; }
    ColorRef TextColor() const { return m_crTextColor; }

    /// The longest output path the output-file field takes.
    static constexpr int kMaxOutputPathLength = 256;

    /// Runs menu command @p id as the dialog's command handling does.
    void OnCommand(int id);

    /// Opens photos with @p loader instead of the imaging library (tests).
    using PhotoLoader = std::function<std::unique_ptr<imaging::Photo>(const QString&)>;
    void SetPhotoLoader(PhotoLoader loader) { m_loadPhoto = std::move(loader); }

    /// The opened photo, or nullptr.
    imaging::Photo* GetPhoto() const { return m_pPhoto.get(); }
    int OutputWidth() const { return m_nOutputWidth; }
    int OutputHeight() const { return m_nOutputHeight; }

    /// Reads both size fields into the output size; false, after saying which
    /// side is invalid, when one is not positive.
    bool CheckOutputSize();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DoDataExchange(bool saveAndValidate);
    bool OnInitDialog();
    void RestoreOutputFolder();
    void RestoreRotateAndFlip();
    void OnOK();
    void OnClose();
    void OnExit();
    void SaveSettings();
    void OnAbout();
    void OnHelp();
    void OnHomepage();
    void OnOpenPhoto();
    void ShowFrames();
    void RefreshPreview();
    bool FrameEditTarget(int* dimension, int32_t* number) const;
    void OnFrameNumberChanged();
    void OnFrameNumberLeft();
    void OnFrameDimensionChanged(int index);
    void OnBaseWidth();
    void OnBaseHeight();
    /// The calculator: reads the typed side, writes the other in the photo's proportions.
    void FillProportionalSide(int typedId, int32_t* typed, int32_t photoTyped, int otherId,
                              int32_t* other, int32_t photoOther);
    bool PhotoSizeKnown();
    void CheckPositionAgainstPhoto();
    QString FieldText(int id) const;
    void SetFieldText(int id, const QString& text);
    void OnConvert();
    void ConvertPhoto();
    void OnBrowse();
    void OnFont();
    void OnTextPositionLeft(int controlId);
    void OnPopupMenuFont();
    void ToggleStoredChoice(bool& choice, const QString& key);
    void ShowPopupMenu(const QPoint& point);
    bool FillLanguageMenu(QMenu& loaded, QMenu& popup);
    void OnLanguageCommand(int command);
    void SwitchLanguage(int id);
    void OnRotateClicked(int controlId);
    void OnFlipClicked(int controlId);
    void ConnectHandlers();
    MsgResult Message(const QString& text, const QString& caption,
                      MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None);

    SettingsStore& m_store;
    PlatformServices& m_platform;
    BuiltDialog m_built;
    bool m_created = false;

    QString m_szPhotoPath;
    QString m_szOutputPath;
    QString m_strOutputFolder;
    QString m_strOutputFile;
    OsVersionInfo m_osvi;
    std::unique_ptr<imaging::LibrarySession> m_imaging;
    int32_t m_nPhotoWidth = 0;
    int32_t m_nPhotoHeight = 0;
    int32_t m_nOutputWidth = 0;
    int32_t m_nOutputHeight = 0;
    int32_t m_nRotateAngle = 0;
    int32_t m_nFlipType = 0;
    std::unique_ptr<imaging::Photo> m_pPhoto;
    std::vector<QUuid> m_pFrameDimensions;
    std::array<uint32_t, 100> m_nFrameCount{};
    QComboBox* m_comboFrameDimension = nullptr;
    PhotoLoader m_loadPhoto;
    LogFont m_lfText;
    ColorRef m_crTextColor = 0;
    bool m_bConvertToSrgb = false;  // else stored colour values, the profile carried
    bool m_bAutoOrient = false;     // photos opened upright by the camera's orientation
};

#pragma once
// Every status text the program shows, in the window's status line and in the command line's
// status output. The texts are fixed to the byte, blanks included: a dealer compares them with
// what the pager's documentation says, and scripts match them, so they are typed here only.

#include <QString>

namespace m84 {

// The window's message pane before the first message.
inline const QString kWelcomeText = QStringLiteral(" Welcome to use M84 DPT ");

// Files: data file, raw image, settings text, memory dump.
inline const QString kSaveDataFileError = QStringLiteral("Save data file error");
inline const QString kFileSavedOk = QStringLiteral("File Saved ok");
inline const QString kOpenDataFileError = QStringLiteral("Open data file error");
inline const QString kFileLoadedOk = QStringLiteral("File Loaded ok");
inline const QString kFileLoadedError = QStringLiteral("File Loaded error");

// Binary compare: the input that cannot be opened is named by its number, 1 or 2.
inline const QString kOpenNumberedDataFileError = QStringLiteral("Open data file %1 error");
inline const QString kOpenCompareResultError = QStringLiteral("Open compare result error");

// The adapter and the pager.
inline const QString kNoAdapterConnect = QStringLiteral("No DPT Adapter connect");
inline const QString kReadingPager = QStringLiteral("Reading Pager ... ");
inline const QString kReadPagerOk = QStringLiteral("Read Pager ok !");
inline const QString kReadPagerError = QStringLiteral("Read Pager error !");
inline const QString kWritingPager = QStringLiteral("Write Data to Pager ... ");
inline const QString kVerifying = QStringLiteral("Verifying ... ");
inline const QString kVerifyOk = QStringLiteral("DPT Verify ok !");
inline const QString kVerifyError = QStringLiteral("DPT Verify error !");
inline const QString kWritePagerError = QStringLiteral("Write Pager error !");

// Firmware transfer results; the timed ones are printf formats of the elapsed seconds.
inline constexpr char kFirmwareProgramSuccessText[] = "Firmware program success ! (Time:%5.2fs)";
inline constexpr char kFirmwareProgramErrorText[] = "Firmware program error !";
inline constexpr char kFirmwareReadSuccessText[] = "Firmware read success ! (Time:%5.2fs)";
inline constexpr char kFirmwareReadErrorText[] = "Firmware read error !";

// The Basic page's advance setting password.
inline const QString kAdvancePasswordError = QStringLiteral("Advance setting password error");

// What a settings comparison says when it finds nothing: a review before a write, and the
// comparison of two settings.
inline const QString kNoSettingWillChange = QStringLiteral("No setting will change");
inline const QString kNoSettingDiffers = QStringLiteral("No setting differs.");

}  // namespace m84

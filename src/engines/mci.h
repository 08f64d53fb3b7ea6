#pragma once
// The media control interface the players fall back to: devices opened by type or by file,
// driven by numbered commands with flags and parameter blocks, answering with MCI error
// numbers, and posting MM_MCINOTIFY to a window when a play asked for notification finishes.
// Drivers register by device type: the file driver (wave audio and MPEG audio through
// GStreamer) is here; the CD audio and sequencer drivers join from their own modules.

#include "engines/videooutput.h"
#include "platform/vocabulary.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using MCIDEVICEID = std::uint32_t;
using MCIERROR = std::uint32_t;

// Commands.
constexpr UINT MCI_OPEN = 0x0803;
constexpr UINT MCI_CLOSE = 0x0804;
constexpr UINT MCI_PLAY = 0x0806;
constexpr UINT MCI_SEEK = 0x0807;
constexpr UINT MCI_STOP = 0x0808;
constexpr UINT MCI_PAUSE = 0x0809;
constexpr UINT MCI_INFO = 0x080A;
constexpr UINT MCI_SET = 0x080D;
constexpr UINT MCI_STATUS = 0x0814;
// The digital-video commands.
constexpr UINT MCI_STEP = 0x080E;
constexpr UINT MCI_WINDOW = 0x0841;
constexpr UINT MCI_PUT = 0x0842;
constexpr UINT MCI_WHERE = 0x0843;

// Flags common to commands.
constexpr std::uint32_t MCI_NOTIFY = 0x00000001;
constexpr std::uint32_t MCI_WAIT = 0x00000002;
constexpr std::uint32_t MCI_FROM = 0x00000004;
constexpr std::uint32_t MCI_TO = 0x00000008;
constexpr std::uint32_t MCI_TRACK = 0x00000010;

// MCI_OPEN flags.
constexpr std::uint32_t MCI_OPEN_SHAREABLE = 0x00000100;
constexpr std::uint32_t MCI_OPEN_ELEMENT = 0x00000200;
constexpr std::uint32_t MCI_OPEN_ALIAS = 0x00000400;
constexpr std::uint32_t MCI_OPEN_TYPE_ID = 0x00001000;
constexpr std::uint32_t MCI_OPEN_TYPE = 0x00002000;

// MCI_STATUS.
constexpr std::uint32_t MCI_STATUS_ITEM = 0x00000100;
constexpr std::uint32_t MCI_STATUS_LENGTH = 0x00000001;
constexpr std::uint32_t MCI_STATUS_POSITION = 0x00000002;
constexpr std::uint32_t MCI_STATUS_NUMBER_OF_TRACKS = 0x00000003;
constexpr std::uint32_t MCI_STATUS_MODE = 0x00000004;
constexpr std::uint32_t MCI_STATUS_MEDIA_PRESENT = 0x00000005;
constexpr std::uint32_t MCI_STATUS_TIME_FORMAT = 0x00000006;
constexpr std::uint32_t MCI_STATUS_READY = 0x00000007;
constexpr std::uint32_t MCI_STATUS_CURRENT_TRACK = 0x00000008;
constexpr std::uint32_t MCI_CDA_STATUS_TYPE_TRACK = 0x00004001;
constexpr std::uint32_t MCI_CDA_TRACK_AUDIO = 1088;
constexpr std::uint32_t MCI_CDA_TRACK_OTHER = 1089;

// MCI_SET.
constexpr std::uint32_t MCI_SET_DOOR_OPEN = 0x00000100;
constexpr std::uint32_t MCI_SET_DOOR_CLOSED = 0x00000200;
constexpr std::uint32_t MCI_SET_TIME_FORMAT = 0x00000400;

// Digital video: MCI_WHERE / MCI_PUT, MCI_WINDOW, MCI_STEP and MCI_SET's speed (thousandths).
constexpr std::uint32_t MCI_DGV_RECT = 0x00010000;
constexpr std::uint32_t MCI_DGV_WHERE_SOURCE = 0x00020000;
constexpr std::uint32_t MCI_DGV_WHERE_DESTINATION = 0x00040000;
constexpr std::uint32_t MCI_DGV_PUT_DESTINATION = 0x00040000;
constexpr std::uint32_t MCI_DGV_WINDOW_HWND = 0x00010000;
constexpr std::uint32_t MCI_DGV_STEP_REVERSE = 0x00010000;
constexpr std::uint32_t MCI_DGV_STEP_FRAMES = 0x00020000;
constexpr std::uint32_t MCI_DGV_SET_SPEED = 0x00020000;
// MCI_PLAY: the picture fills the screen.
constexpr std::uint32_t MCI_MCIAVI_PLAY_FULLSCREEN = 0x02000000;

// Time formats.
constexpr std::uint32_t MCI_FORMAT_MILLISECONDS = 0;
constexpr std::uint32_t MCI_FORMAT_MSF = 2;
constexpr std::uint32_t MCI_FORMAT_FRAMES = 3;
constexpr std::uint32_t MCI_FORMAT_BYTES = 8;
constexpr std::uint32_t MCI_FORMAT_SAMPLES = 9;
constexpr std::uint32_t MCI_FORMAT_TMSF = 10;

// MCI_INFO.
constexpr std::uint32_t MCI_INFO_PRODUCT = 0x00000100;
constexpr std::uint32_t MCI_INFO_FILE = 0x00000200;
constexpr std::uint32_t MCI_INFO_MEDIA_UPC = 0x00000400;
constexpr std::uint32_t MCI_INFO_MEDIA_IDENTITY = 0x00000800;

// Device types.
constexpr std::uint32_t MCI_DEVTYPE_CD_AUDIO = 516;
constexpr std::uint32_t MCI_DEVTYPE_DIGITAL_VIDEO = 520;
constexpr std::uint32_t MCI_DEVTYPE_WAVEFORM_AUDIO = 522;
constexpr std::uint32_t MCI_DEVTYPE_SEQUENCER = 523;

// Modes (MCI_STATUS_MODE).
constexpr std::uint32_t MCI_MODE_NOT_READY = kModeNotReady;
constexpr std::uint32_t MCI_MODE_STOP = kModeStopped;
constexpr std::uint32_t MCI_MODE_PLAY = kModePlaying;
constexpr std::uint32_t MCI_MODE_PAUSE = kModePaused;
constexpr std::uint32_t MCI_MODE_OPEN = kModeOpening;

// The notification: wParam = one of the MCI_NOTIFY_* values, lParam = the device id.
constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 1;
constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 2;
constexpr WPARAM MCI_NOTIFY_ABORTED = 4;
constexpr WPARAM MCI_NOTIFY_FAILURE = 8;

// Error numbers (0 is success).
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = 257;
constexpr MCIERROR MCIERR_HARDWARE = 262;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = 263;
constexpr MCIERROR MCIERR_CANNOT_LOAD_DRIVER = 266;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = 274;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = 275;
constexpr MCIERROR MCIERR_DEVICE_NOT_READY = 276;
constexpr MCIERROR MCIERR_DRIVER = 278;
constexpr MCIERROR MCIERR_OUTOFRANGE = 282;
constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = 284;
constexpr MCIERROR MCIERR_FILE_NOT_SAVED = 286;
constexpr MCIERROR MCIERR_DUPLICATE_ALIAS = 289;
constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = 293;
constexpr MCIERROR MCIERR_INVALID_FILE = 296;
constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = 297;
constexpr MCIERROR MCIERR_FILENAME_REQUIRED = 304;
constexpr MCIERROR MCIERR_DEVICE_NOT_INSTALLED = 306;
constexpr MCIERROR MCIERR_CANNOT_READ_CD = 307; // the drive holds no readable disc
constexpr MCIERROR MCIERR_FILE_READ = 348;
constexpr MCIERROR MCIERR_FILE_WRITE = 349;

// Parameter blocks. dwCallback is the window to notify.
struct MCI_GENERIC_PARMS
{
    HWND dwCallback = 0;
};
struct MCI_OPEN_PARMS
{
    HWND dwCallback = 0;
    MCIDEVICEID wDeviceID = 0;
    std::uint32_t lpstrDeviceType = 0; // a type id (MCI_OPEN_TYPE_ID)
    const char* lpstrElementName = nullptr;
    const char* lpstrAlias = nullptr;
};
struct MCI_PLAY_PARMS
{
    HWND dwCallback = 0;
    std::uint32_t dwFrom = 0;
    std::uint32_t dwTo = 0;
};
struct MCI_SEEK_PARMS
{
    HWND dwCallback = 0;
    std::uint32_t dwTo = 0;
};
struct MCI_SET_PARMS
{
    HWND dwCallback = 0;
    std::uint32_t dwTimeFormat = 0;
    std::uint32_t dwAudio = 0;
    std::uint32_t dwSpeed = 0; // MCI_DGV_SET_SPEED
};
struct MCI_DGV_RECT_PARMS
{
    HWND dwCallback = 0;
    RECT rc;
};
struct MCI_DGV_WINDOW_PARMS
{
    HWND dwCallback = 0;
    HWND hWnd = 0;
};
struct MCI_DGV_STEP_PARMS
{
    HWND dwCallback = 0;
    std::uint32_t dwFrames = 1;
};
struct MCI_STATUS_PARMS
{
    HWND dwCallback = 0;
    std::uintptr_t dwReturn = 0;
    std::uint32_t dwItem = 0;
    std::uint32_t dwTrack = 0;
};
struct MCI_INFO_PARMS
{
    HWND dwCallback = 0;
    char* lpstrReturn = nullptr;
    std::uint32_t dwRetSize = 0;
};

// Sends a command to an open device (or MCI_OPEN to a new one); 0 on success.
MCIERROR mciSendCommand(MCIDEVICEID device, UINT message, std::uint32_t flags, void* params);
// The text of an error; false for a number that has none.
bool mciGetErrorString(MCIERROR error, char* buffer, std::uint32_t size);

namespace engines {

// A device of one type, driven by mciSendCommand. The driver posts MM_MCINOTIFY itself.
class MciDriver
{
public:
    virtual ~MciDriver() = default;
    // MCI_OPEN with the element (may be empty for devices without files).
    virtual MCIERROR open(MCIDEVICEID id, const std::string& element) = 0;
    virtual MCIERROR command(UINT message, std::uint32_t flags, void* params) = 0;
    // The information text of the open element ("%.3f kHz", bits, channels, kbps).
    virtual std::string informationText() { return {}; }
    // The picture shown now as a packed DIB (digital video); empty when there is none.
    virtual std::vector<std::uint8_t> capturePicture() { return {}; }
};

using MciDriverFactory = std::function<std::unique_ptr<MciDriver>()>;
// Registers the driver of a device type (replacing one registered before).
void mciRegisterDriver(std::uint32_t deviceType, MciDriverFactory factory);
// The device type for a file by its extension: wave audio for .wav, the sequencer for MIDI
// files, digital video (our MPEG and general file device) for other audio and for films, 0 when
// no driver takes it.
std::uint32_t mciDeviceTypeForFile(const std::string& path);
// The information text of an open device, "" when it has none.
std::string mciInformationText(MCIDEVICEID device);
// The picture an open digital-video device shows now, as a packed DIB.
std::vector<std::uint8_t> mciCapturePicture(MCIDEVICEID device);

} // namespace engines

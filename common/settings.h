// The product's configuration registry: 161 typed keys, each taken from the first
// usable source of administrator file, environment, user file, system file, default.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ini_file.h"
#include "common/singleton.h"

namespace vyr {

// Holds the configuration files found at construction (none parsed yet).
class Settings {
public:
    Settings();
    virtual ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Parses the files; one that fails is reported and dropped.
    virtual void load();

protected:
    // Owned text or null.
    char* getString(const char* variable, const char* section, const char* name, const char* fallback);
    int32_t getInteger(const char* variable, const char* section, const char* name, int32_t fallback);
    bool getBoolean(const char* variable, const char* section, const char* name, bool fallback);

    IniFile* userFile = nullptr;
    IniFile* systemFile = nullptr;
    IniFile* adminFile = nullptr;
};

namespace conf {

class Settings : public Singleton<Settings>, public vyr::Settings {
public:
    // Reads every key; the process-wide instance comes from instance().
    Settings();
    ~Settings() override;
    void load() override;

    // Logging
    bool verbose;
    char* logLevel;
    char* logFile;
    char* logDir;
    bool printStats;
    int32_t printStatsInterval;
    // Application
    bool unsetLocalDisplay;
    char* blacklist;
    bool skipDoubleSwap;
    bool useNvidiaGrid;
    bool externalRenderingServer;
    bool forceLocalRendering;
    int32_t transportBufferSize;
    bool printVyrVersion;
    bool printNvidiaGrid;
    char* vyrdBindAddress;
    char* localDisplay;
    char* localDisplayList;
    bool kobDebugWait;
    int32_t vncExtVersion;
    bool hostShowPixels;
    bool forceBestFbconfig;
    int32_t localMultisample;
    char* glxExtBlacklist;
    char* wglExtBlacklist;
    bool threadedReadback;
    int32_t threadedReadbackPeriod;
    int32_t targetFps;
    int32_t copybackFrameRate;
    bool disconnectEmbeddedReceiver;
    int32_t readbackInterval;
    bool noReadback;
    bool dropReadback;
    bool doFrameCompare;
    char* originalVendor;
    bool useSampleQueries;
    int32_t usexfontMode;
    bool offscreenRendering;
    int32_t durOffscreenRendering;
    int32_t vyrConfigDockTime;
    bool vyrConfigCheckEnabled;
    char* vyrConfigTriggerPosition;
    bool vyrConfigWarnMissing32bit;
    bool enableVisibilityCheck;
    bool doubleCheckVisible;
    bool hookGdi;
    char* hookGdiApps;
    bool glxwaitxSyncAppDisplay;
    bool skipGlGetError;
    bool skipFlush;
    bool enforceCurrentThreadContext;
    bool mabClientDebugWait;
    bool throttleGrabber;
    // Wrapper
    bool mabEnable;
    bool cleanupAtexit;
    bool disableDriverUnload;
    // Remotization
    bool useNvidiaHwEncoder;
    char* defaultProxyServer;
    int32_t defaultProxyPort;
    char* defaultProxyType;
    bool useEncryption;
    char* encryption;
    bool allowUdp;
    bool supportPlainVncClients;
    bool enableFramesCopyback;
    bool detectPlainVncClients;
    bool enableQualityUpdate;
    char* externalTransport;
    int32_t imageQuality;
    int32_t qualityUpdateQuality;
    int32_t udpQuality;
    bool useUdp;
    bool udpShowPartial;
    int32_t keepaliveTimeout;
    bool useSuppliedConferenceId;
    char* conferenceId;
    char* conferenceKey;
    int32_t skipThreshold;
    int32_t tcpSndbuf;
    int32_t tcpRcvbuf;
    bool tcpNodelay;
    int32_t udpStartPort;
    int32_t udpTcpUpdateInterval;
    int32_t maxRoundtripDelay;
    bool udpPacketReuse;
    bool pixelBufferReuse;
    int32_t framesInTransit;
    int32_t qualityUpdateInterval;
    char* codecTcp;
    char* codecUdp;
    char* codecQu;
    int32_t udpSkipThreshold;
    int32_t tcpStartPort;
    int32_t tcpMaxPort;
    int32_t maxCompressionThreads;
    char* host;
    int32_t bwControlMaxWrite;
    int32_t bwControlWaitTime;
    int32_t bwControlCap;
    int32_t bwSleepThreshold;
    char* jpegLibrary;
    char* h264Profile;
    char* h264Format;
    int32_t h264Slices;
    bool h264HwDecoder;
    bool useOverlayWindow;
    bool forceGdiGrab;
    bool disableWindowsAnimation;
    bool disableDragFullWindows;
    bool disableDwmComposition;
    bool enableVchannels;
    bool enableDesktopCapture;
    char* blacklistVchannels;
    // RenderingServer
    char* renderingServerHost;
    char* user;
    char* port;
    char* renderingServerLocalDisplayList;
    int32_t agentStartPort;
    int32_t agentMaxPort;
    int32_t agentSocketTimeout;
    int32_t serverDecodeBatchSize;
    char* readbackMode;
    char* libglPath32;
    char* libglPath64;
    // Network
    bool disableSdp;
    // Console
    int32_t consolePort;
    // Vantro
    int32_t vantroImageQuality;
    bool disableUdp;
    int32_t mpixelsInterval;
    bool showFps;
    char* fpsColor;
    int32_t fpsInterval;
    char* fpsPosition;
    bool enableConsole;
    bool consoleUsbDirectConnection;
    int32_t tipTimeout;
    char* consoleShortcut;
    char* proxyServer;
    int32_t proxyPort;
    char* proxyType;
    char* vantroEncryption;
    bool forceLossless;
    int32_t h264Threads;
    // JPEG
    char* subsampling;
    // MAB
    char* forceGlVersion;
    bool clientPrintWire;
    bool clientPrintTotals;
    bool clientPrintLastOps;
    int32_t lastOpsLength;
    bool printWireVerbose;
    bool clientToggleWire;
    int32_t printWireLimit;
    int32_t printLength;
    bool bufferVerifier;
    bool syncOnSwap;
    bool serverDebug;
    bool serverPrintWire;
    char* renderingDisplay;
    bool useClientVisuals;
    int32_t socketBufferSize;
    int32_t numDataBuffers;
};

enum class SettingType { String, Integer, Boolean };

// One row of the key table; exactly one of the three fields is set, after type.
struct SettingKey {
    const char* section;
    const char* name;
    const char* variable;
    SettingType type;
    char* Settings::*stringField;
    int32_t Settings::*integerField;
    bool Settings::*booleanField;
    const char* stringDefault;
    int32_t integerDefault;
    bool booleanDefault;
};

// The keys in the order load reads them.
extern const SettingKey settingKeys[];
extern const size_t settingKeyCount;

}  // namespace conf
}  // namespace vyr

#pragma once
// The device-model profile writer: the monitor described not as an ICC
// profile but as a colour device model (".cdmp"), an XML file that lists
// the measurement conditions, the primaries and four tone ramps (gray, red,
// green, blue) of an LCD device:
//
//   <cdm:ColorDeviceModel xmlns:cdm=... xmlns:wcs=... xmlns:xs=...>
//     cdm:ProfileName, cdm:Description, cdm:Author   (each a wcs:Text xml:lang="en-US")
//     cdm:MeasurementConditions   ColorSpace, WhitePoint X Y Z, Geometry, ApertureSize
//     cdm:SelfLuminous, cdm:MaxColorant, cdm:MinColorant
//     cdm:LCDDevice / cdm:MeasurementData TimeStamp=...
//        White-, Red-, Green-, Blue-, BlackPrimary X Y Z
//        GrayRamp, RedRamp, GreenRamp, BlueRamp: 16 cdm:Sample each
//           (drive values 15, 30 .. 240), each a cdm:RGB and a cdm:CIEXYZ
//
// The writer keeps every value as the text that goes into the document,
// made when the setter is called (XYZ with three decimals, integers in
// decimal, always in the C locale); only the ramps are kept as numbers until
// the document is written. The document is indented by whitespace text
// nodes of its own: each element starts on a new line with one tab per
// level below the root.
//
// Installing saves the document into the colour directory, installs the new
// file, associates it with the display and only then takes the display's
// previous profile off it (ReplaceDisplayProfile, agent/DisplayProfileOps.h),
// so that a failure leaves the display with the profile it had. The
// association store is the notice to other programs: they watch it.

#include "agent/DisplayProfileOps.h"
#include "agent/TraceLog.h"
#include "platform/Clock.h"

#include <array>
#include <ctime>
#include <pugixml.hpp>
#include <string>
#include <utility>

struct CdmpXyz
{
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
};

// The X, Y and Z attribute texts of one element.
struct XyzText
{
    std::string X;
    std::string Y;
    std::string Z;
};

// Namespaces of the published device-model schema (2005/02) and of its
// common profile types, and the XML Schema instance namespace.
inline constexpr const char* kCdmNamespace =
    "http://schemas.microsoft.com/windows/2005/02/color/ColorDeviceModel";
inline constexpr const char* kWcsNamespace =
    "http://schemas.microsoft.com/windows/2005/02/color/WcsCommonProfileTypes";
inline constexpr const char* kXsNamespace = "http://www.w3.org/2001/XMLSchema-instance";

class CdmpWriter
{
public:
    static constexpr int kRampCount = 4; // gray, red, green, blue
    static constexpr int kRampSize = 256;
    using Ramp = std::array<CdmpXyz, kRampSize>;

    enum class Primary
    {
        White,
        Red,
        Green,
        Blue,
        Black
    };

    // The clock paces the pause before a new profile is made and installed.
    explicit CdmpWriter(platform::Clock& clock = platform::SystemClock());

    // Text setters: an empty text is ignored (the old one stays).
    void SetProfileName(const std::string& text);
    void SetDescription(const std::string& text);
    void SetAuthor(const std::string& text);
    void SetColorSpace(const std::string& text);

    // Numeric setters: false when the value is refused (the old text stays).
    // XYZ values that are not finite are refused.
    bool SetWhitePoint(double X, double Y, double Z);
    bool SetWhitePrimary(double X, double Y, double Z);
    bool SetRedPrimary(double X, double Y, double Z);
    bool SetGreenPrimary(double X, double Y, double Z);
    bool SetBluePrimary(double X, double Y, double Z);
    bool SetBlackPrimary(double X, double Y, double Z);
    // 0 "0/45", 1 "0/diffuse", 2 "diffuse/0", 3 "Direct".
    bool SetGeometry(int geometry);
    // Refused when negative.
    bool SetApertureSize(int size);
    // 1 "true", 0 "false".
    bool SetSelfLuminous(int selfLuminous);
    // Refused above 10000.
    bool SetMaxColorant(unsigned value);
    bool SetMinColorant(unsigned value);

    // The TimeStamp attribute from the local time now, or from a given
    // local time: "YYYY-MM-DDThh:mm:ss".
    void SetTimeStamp();
    void SetTimeStamp(const std::tm& localTime);

    // Ramp 0 gray, 1 red, 2 green, 3 blue: 256 samples from black to peak,
    // sample i = black + (peak - black) (i / 255)^gamma. Refused for another
    // ramp number, a gamma that is not finite or not above 0, or values
    // that are not finite.
    bool SetRamp(int ramp, const CdmpXyz& peak, const CdmpXyz& black, double gamma);

    // The profile that the next installation takes off the display.
    void SetCurrentProfilePath(const std::string& path);
    // 1 (the default): the installation builds and saves the document;
    // 0: it installs the prepared file of the given name from the colour
    // directory.
    void SetWriteDocument(int writeDocument) { m_writeDocument = writeDocument; }
    // The display whose profile changes (a device ID of the association
    // store; empty: the default display).
    void SetDeviceId(std::string deviceId) { m_deviceId = std::move(deviceId); }
    // Replaces the install and association operations; the default is
    // DisplayProfileOps::Platform().
    void SetDisplayProfileOps(DisplayProfileOps ops) { m_ops = std::move(ops); }

    // The document as XML text.
    std::string DocumentText() const;

    // Saves the document as "<colour directory>/<name>.cdmp" (replacing a
    // file of that name as a whole); name then holds that path. False, with
    // name unchanged, when the name is empty or holds '/', or the file could
    // not be written.
    bool Write(std::string& name);

    // Makes the document (or, without write-document, the prepared file) the
    // display's profile. The profile taken off is the remembered current
    // profile, else the display's profile now (then remembered). 1 when the
    // new profile is associated with the display (it becomes the remembered
    // current profile, and the previous one is taken off); 0 when it is not
    // (installation or association failed); -1 when the document could not
    // be written (nothing is installed then). After 0 or -1 the display's
    // associations are as they were. name becomes the path of the file
    // installed from.
    int InstallCdmpProfile(std::string& name);

    // mode 0: the display's current profile (its full path in the colour
    // directory); mode 1: the remembered current profile. False for other
    // modes.
    bool GetCurrentIcmProfileName(int mode, std::string& name) const;

    // Read access for callers and tests.
    const std::string& ProfileName() const { return m_profileName; }
    const std::string& Description() const { return m_description; }
    const std::string& Author() const { return m_author; }
    const std::string& SelfLuminous() const { return m_selfLuminous; }
    const std::string& MaxColorant() const { return m_maxColorant; }
    const std::string& MinColorant() const { return m_minColorant; }
    const std::string& ColorSpace() const { return m_colorSpace; }
    const XyzText& WhitePoint() const { return m_whitePoint; }
    const std::string& Geometry() const { return m_geometry; }
    const std::string& ApertureSize() const { return m_apertureSize; }
    const std::string& TimeStamp() const { return m_timeStamp; }
    const XyzText& PrimaryText(Primary which) const { return m_primaries[static_cast<int>(which)]; }
    const Ramp& RampSamples(int ramp) const { return m_ramps.at(static_cast<std::size_t>(ramp)); }
    bool CurrentProfileKnown() const { return m_currentProfileKnown != 0; }
    const std::string& CurrentProfilePath() const { return m_currentProfilePath; }
    const std::string& ColorDirectoryPath() const { return m_colorDirectory; }

private:
    bool SetPrimary(Primary which, double X, double Y, double Z);
    void BuildDocument(pugi::xml_document& document) const;
    void WriteTextElement(pugi::xml_node parent, const char* name, const std::string& text) const;
    void WriteLocalizedElement(pugi::xml_node parent, const char* name,
                               const std::string& text) const;
    void WriteMeasurementConditions(pugi::xml_node parent) const;
    void WriteLcdDevice(pugi::xml_node parent) const;

    std::string m_profileName;
    std::string m_description;
    std::string m_author;
    std::string m_selfLuminous;
    std::string m_maxColorant;
    std::string m_minColorant;
    std::string m_colorSpace;
    XyzText m_whitePoint;
    std::string m_geometry;
    std::string m_apertureSize;
    std::string m_timeStamp;
    std::array<XyzText, 5> m_primaries; // white, red, green, blue, black
    std::array<Ramp, kRampCount> m_ramps{};
    CTraceLog m_trace;
    int m_writeDocument = 1;
    int m_currentProfileKnown = 0;
    std::string m_currentProfilePath;
    std::string m_colorDirectory;
    std::string m_deviceId;
    DisplayProfileOps m_ops = DisplayProfileOps::Platform();
    platform::Clock& m_clock;
};

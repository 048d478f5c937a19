#include "agent/CdmpWriter.h"

#include "platform/ColorDirectory.h"
#include "platform/FileReplace.h"
#include "platform/Numbers.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kGeometryTexts[] = {"0/45", "0/diffuse", "diffuse/0", "Direct"};
constexpr unsigned kMaxColorantValue = 10000;
constexpr const char* kRampNames[CdmpWriter::kRampCount] = {"Gray", "Red", "Green", "Blue"};
constexpr const char* kPrimaryElements[] = {"cdm:WhitePrimary", "cdm:RedPrimary",
                                            "cdm:GreenPrimary", "cdm:BluePrimary",
                                            "cdm:BlackPrimary"};
// Each ramp is written as 16 samples at drive values 15, 30 .. 240.
constexpr int kSamplesWritten = 16;
constexpr int kSampleStep = 15;

std::string Decimal3(double value)
{
    return platform::FormatDouble(value, 3);
}

XyzText ToText(double X, double Y, double Z)
{
    return {Decimal3(X), Decimal3(Y), Decimal3(Z)};
}

bool AllFinite(double X, double Y, double Z)
{
    return std::isfinite(X) && std::isfinite(Y) && std::isfinite(Z);
}

// A whitespace text node: a line break and one tab per level below the
// root, so that the element after it starts its own indented line.
void Indent(pugi::xml_node parent, int depth)
{
    std::string text(1, '\n');
    text.append(static_cast<std::size_t>(std::max(depth, 0)), '\t');
    parent.append_child(pugi::node_pcdata).set_value(text.c_str());
}

pugi::xml_node AppendIndented(pugi::xml_node parent, const char* name, int depth)
{
    Indent(parent, depth);
    return parent.append_child(name);
}

void SetXyzAttributes(pugi::xml_node node, const XyzText& xyz)
{
    node.append_attribute("X").set_value(xyz.X.c_str());
    node.append_attribute("Y").set_value(xyz.Y.c_str());
    node.append_attribute("Z").set_value(xyz.Z.c_str());
}

struct StringWriter final : pugi::xml_writer
{
    std::string text;
    void write(const void* data, std::size_t size) override
    {
        text.append(static_cast<const char*>(data), size);
    }
};

} // namespace

CdmpWriter::CdmpWriter(platform::Clock& clock) : m_clock(clock)
{
    platform::ColorDirectory(m_colorDirectory);
}

void CdmpWriter::SetProfileName(const std::string& text)
{
    if (!text.empty())
        m_profileName = text;
}

void CdmpWriter::SetDescription(const std::string& text)
{
    if (!text.empty())
        m_description = text;
}

void CdmpWriter::SetAuthor(const std::string& text)
{
    if (!text.empty())
        m_author = text;
}

void CdmpWriter::SetColorSpace(const std::string& text)
{
    if (!text.empty())
        m_colorSpace = text;
}

bool CdmpWriter::SetWhitePoint(double X, double Y, double Z)
{
    if (!AllFinite(X, Y, Z))
        return false;
    m_whitePoint = ToText(X, Y, Z);
    return true;
}

bool CdmpWriter::SetPrimary(Primary which, double X, double Y, double Z)
{
    if (!AllFinite(X, Y, Z))
        return false;
    m_primaries[static_cast<int>(which)] = ToText(X, Y, Z);
    return true;
}

bool CdmpWriter::SetWhitePrimary(double X, double Y, double Z)
{
    return SetPrimary(Primary::White, X, Y, Z);
}

bool CdmpWriter::SetRedPrimary(double X, double Y, double Z)
{
    return SetPrimary(Primary::Red, X, Y, Z);
}

bool CdmpWriter::SetGreenPrimary(double X, double Y, double Z)
{
    return SetPrimary(Primary::Green, X, Y, Z);
}

bool CdmpWriter::SetBluePrimary(double X, double Y, double Z)
{
    return SetPrimary(Primary::Blue, X, Y, Z);
}

bool CdmpWriter::SetBlackPrimary(double X, double Y, double Z)
{
    return SetPrimary(Primary::Black, X, Y, Z);
}

bool CdmpWriter::SetGeometry(int geometry)
{
    if (geometry < 0 || geometry >= static_cast<int>(std::size(kGeometryTexts)))
        return false;
    m_geometry = kGeometryTexts[geometry];
    return true;
}

bool CdmpWriter::SetApertureSize(int size)
{
    if (size < 0)
        return false;
    m_apertureSize = platform::FormatInt(size);
    return true;
}

bool CdmpWriter::SetSelfLuminous(int selfLuminous)
{
    if (selfLuminous != 0 && selfLuminous != 1)
        return false;
    m_selfLuminous = selfLuminous == 1 ? "true" : "false";
    return true;
}

bool CdmpWriter::SetMaxColorant(unsigned value)
{
    if (value > kMaxColorantValue)
        return false;
    m_maxColorant = platform::FormatInt(value);
    return true;
}

bool CdmpWriter::SetMinColorant(unsigned value)
{
    if (value > kMaxColorantValue)
        return false;
    m_minColorant = platform::FormatInt(value);
    return true;
}

void CdmpWriter::SetTimeStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now != static_cast<std::time_t>(-1) && ::localtime_r(&now, &local))
        SetTimeStamp(local);
}

void CdmpWriter::SetTimeStamp(const std::tm& localTime)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.4d-%.2d-%.2dT%.2d:%.2d:%.2d", localTime.tm_year + 1900,
                  localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec);
    m_timeStamp = text;
}

// Sample i is the response to the drive value i of 0..255, that is i / 255
// of full drive, so the last sample is the peak itself.
bool CdmpWriter::SetRamp(int ramp, const CdmpXyz& peak, const CdmpXyz& black, double gamma)
{
    if (ramp < 0 || ramp >= kRampCount || !std::isfinite(gamma) || gamma <= 0.0 ||
        !AllFinite(peak.X, peak.Y, peak.Z) || !AllFinite(black.X, black.Y, black.Z))
        return false;
    Ramp samples{};
    for (int i = 0; i < kRampSize; ++i)
    {
        const double t = std::pow(static_cast<double>(i) / (kRampSize - 1), gamma);
        samples[i] = {black.X + (peak.X - black.X) * t, black.Y + (peak.Y - black.Y) * t,
                      black.Z + (peak.Z - black.Z) * t};
        if (!AllFinite(samples[i].X, samples[i].Y, samples[i].Z))
            return false;
    }
    m_ramps[static_cast<std::size_t>(ramp)] = samples;
    return true;
}

void CdmpWriter::SetCurrentProfilePath(const std::string& path)
{
    m_currentProfilePath = path;
    m_currentProfileKnown = 1;
}

void CdmpWriter::WriteTextElement(pugi::xml_node parent, const char* name,
                                  const std::string& text) const
{
    AppendIndented(parent, name, 1).text().set(text.c_str());
}

void CdmpWriter::WriteLocalizedElement(pugi::xml_node parent, const char* name,
                                       const std::string& text) const
{
    pugi::xml_node element = AppendIndented(parent, name, 1);
    pugi::xml_node localized = AppendIndented(element, "wcs:Text", 2);
    localized.append_attribute("xml:lang").set_value("en-US");
    localized.text().set(text.c_str());
    Indent(element, 1);
}

void CdmpWriter::WriteMeasurementConditions(pugi::xml_node parent) const
{
    pugi::xml_node conditions = AppendIndented(parent, "cdm:MeasurementConditions", 1);
    AppendIndented(conditions, "cdm:ColorSpace", 2).text().set(m_colorSpace.c_str());
    SetXyzAttributes(AppendIndented(conditions, "cdm:WhitePoint", 2), m_whitePoint);
    AppendIndented(conditions, "cdm:Geometry", 2).text().set(m_geometry.c_str());
    AppendIndented(conditions, "cdm:ApertureSize", 2).text().set(m_apertureSize.c_str());
    Indent(conditions, 1);
}

void CdmpWriter::WriteLcdDevice(pugi::xml_node parent) const
{
    pugi::xml_node device = AppendIndented(parent, "cdm:LCDDevice", 1);
    pugi::xml_node data = AppendIndented(device, "cdm:MeasurementData", 2);
    data.append_attribute("TimeStamp").set_value(m_timeStamp.c_str());

    for (std::size_t p = 0; p < m_primaries.size(); ++p)
        SetXyzAttributes(AppendIndented(data, kPrimaryElements[p], 3), m_primaries[p]);

    for (int r = 0; r < kRampCount; ++r)
    {
        const std::string rampName = kRampNames[r];
        pugi::xml_node ramp = AppendIndented(data, ("cdm:" + rampName + "Ramp").c_str(), 3);
        for (int s = 1; s <= kSamplesWritten; ++s)
        {
            const int drive = kSampleStep * s;
            // The gray ramp's samples are named by drive value, the others by
            // their number.
            const int tagNumber = r == 0 ? drive : s;
            pugi::xml_node sample = AppendIndented(ramp, "cdm:Sample", 4);
            sample.append_attribute("Tag").set_value(
                (rampName + platform::FormatInt(tagNumber)).c_str());

            pugi::xml_node rgb = AppendIndented(sample, "cdm:RGB", 5);
            const std::string driveText = platform::FormatInt(drive);
            rgb.append_attribute("R").set_value(r == 0 || r == 1 ? driveText.c_str() : "0");
            rgb.append_attribute("G").set_value(r == 0 || r == 2 ? driveText.c_str() : "0");
            rgb.append_attribute("B").set_value(r == 0 || r == 3 ? driveText.c_str() : "0");

            const CdmpXyz& value = m_ramps[static_cast<std::size_t>(r)][drive];
            SetXyzAttributes(AppendIndented(sample, "cdm:CIEXYZ", 5),
                             ToText(value.X, value.Y, value.Z));
            Indent(sample, 4);
        }
        Indent(ramp, 3);
    }
    Indent(data, 2);
    Indent(device, 1);
}

void CdmpWriter::BuildDocument(pugi::xml_document& document) const
{
    m_trace.Write("CreateInstance on an XML DOM success\n");
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("utf-8");
    document.append_child(pugi::node_pcdata).set_value("\n");
    m_trace.Write("createProcessingInstruction on an XML DOM success\n");

    pugi::xml_node root = document.append_child("cdm:ColorDeviceModel");
    root.append_attribute("xmlns:cdm").set_value(kCdmNamespace);
    root.append_attribute("xmlns:wcs").set_value(kWcsNamespace);
    root.append_attribute("xmlns:xs").set_value(kXsNamespace);
    m_trace.Write("createAttribute on an XML DOM success\n");

    WriteLocalizedElement(root, "cdm:ProfileName", m_profileName);
    m_trace.Write("ProfileName success\n");
    WriteLocalizedElement(root, "cdm:Description", m_description);
    m_trace.Write("Description success\n");
    WriteLocalizedElement(root, "cdm:Author", m_author);
    m_trace.Write("Author success\n");
    WriteMeasurementConditions(root);
    m_trace.Write("MeasurementConditions success\n");
    WriteTextElement(root, "cdm:SelfLuminous", m_selfLuminous);
    m_trace.Write("SelfLuminous success\n");
    WriteTextElement(root, "cdm:MaxColorant", m_maxColorant);
    m_trace.Write("MaxColorant success\n");
    WriteTextElement(root, "cdm:MinColorant", m_minColorant);
    m_trace.Write("MinColorant success\n");
    WriteLcdDevice(root);
    m_trace.Write("LCDDevice success\n");
    Indent(root, 0);
    document.append_child(pugi::node_pcdata).set_value("\n");
}

std::string CdmpWriter::DocumentText() const
{
    pugi::xml_document document;
    BuildDocument(document);
    StringWriter writer;
    // Raw: the document carries its own indentation as text nodes.
    document.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return writer.text;
}

bool CdmpWriter::Write(std::string& name)
{
    if (name.empty() || name.find('/') != std::string::npos)
    {
        m_trace.Write("Failed to save DOM to sample.cdmp\n");
        return false;
    }
    const std::string text = DocumentText();
    m_trace.Write("Dynamically created DOM:\n" + text + "\n");

    const std::string path = m_colorDirectory + name + ".cdmp";
    if (!platform::ReplaceFileContents(path, text))
    {
        m_trace.Write("Failed to save DOM to sample.cdmp\n");
        return false;
    }
    m_trace.Write("DOM saved to dynamDom.xml\n");
    name = path;
    return true;
}

int CdmpWriter::InstallCdmpProfile(std::string& name)
{
    // The profile to take off once the new one is on: the one remembered
    // from the last installation, else the one the display has now.
    std::string previous;
    if (m_currentProfileKnown != 0)
    {
        previous = m_currentProfilePath;
    }
    else if (GetCurrentIcmProfileName(0, previous))
    {
        SetCurrentProfilePath(previous);
    }
    else
    {
        m_trace.Write("GetICMProfile error\n");
    }
    TracePreviousProfile(m_ops, m_deviceId, previous, m_trace);

    // A pause of a second before the new profile is made: the writer runs
    // right after the monitor's settings changed, and the display is given
    // that moment before its profile follows.
    m_clock.SleepMs(1000);

    if (m_writeDocument != 0)
    {
        m_trace.Write("インストール以前 : " + name + "\n");
        if (!Write(name))
            return -1;
    }
    else
    {
        name = m_colorDirectory + name;
    }
    m_trace.Write("Install file name : " + name + "\n");

    std::string associated;
    if (!ReplaceDisplayProfile(m_ops, m_deviceId, name, previous, m_trace, associated))
        return 0;
    SetCurrentProfilePath(associated);
    return 1;
}

bool CdmpWriter::GetCurrentIcmProfileName(int mode, std::string& name) const
{
    if (mode == 0)
    {
        const std::string current = platform::MonitorProfileName(m_deviceId);
        if (current.empty())
            return false;
        name = platform::ResolveProfilePath(current);
        return true;
    }
    if (mode == 1)
    {
        m_trace.Write("GetICMProfile name = " + m_currentProfilePath + ",\n");
        m_trace.Write("GetICMProfile name = " + m_currentProfilePath + ",\n");
        name = m_currentProfilePath;
        return true;
    }
    return false;
}

#pragma once
// Finding the monitor and knowing it: the probe over DDC/CI with the read
// of its capabilities, the EDID (identity and primaries), and the white
// point of a colour temperature.
//
// The EDID is the 128-byte EDID 1.3 base block. It is taken only when its
// header (00 FF FF FF FF FF FF 00) and checksum (all 128 bytes add up to 0
// modulo 256) are right, and its decoders refuse what cannot describe a
// real monitor (a maker letter outside A-Z, a primary with y = 0), so no
// such value ever reaches a profile.
//
// Chromaticities are handed on as XYZ normalised to Y = 1:
//     X = x / y,  Y = 1,  Z = (1 - x - y) / y.

#include "agent/DdcCiLink.h"
#include "agent/IccProfileBuilder.h"
#include "agent/MccsCapabilities.h"
#include "agent/TraceLog.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

inline constexpr std::size_t kEdidSize = 128;
using EdidBlock = std::array<std::uint8_t, kEdidSize>;

// A colour as XYZ; here always a chromaticity normalised to Y = 1. The
// same type the profile builder takes, so probe results go straight into it.
using XyzTriple = IccXyz;

// True when the data holds at least a base block with the EDID header and
// a base-block checksum of 0.
bool IsValidEdid(std::span<const std::uint8_t> edid);

// The letters of the three five-bit maker codes: index 0 is no letter,
// 1..26 are "A".."Z".
inline constexpr std::array<const char*, 27> EdidLetterTable = {
    "",  "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
    "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};

class CMonitorProbe
{
public:
    // Results of GetCapabilityString.
    static constexpr int kNotConnected = 1;
    static constexpr int kConnected = 2;
    // Result of ConvertFromColorTempIntoColorChrom for a temperature
    // outside kMinKelvin..kMaxKelvin.
    static constexpr int kTemperatureOutOfRange = 17;
    static constexpr int kMinKelvin = 4000;
    static constexpr int kMaxKelvin = 25000;

    // All three are borrowed and must outlive the probe.
    CMonitorProbe(CDdcCiLink& link, CMccsCapabilities& capabilities, CTraceLog& trace);

    // Probes the primary monitor and reads its capabilities (or, when the
    // monitor gives none, at least its New Control Value). kConnected or
    // kNotConnected.
    int GetCapabilityString();

    // Reads the primary monitor's EDID into the probe's EDID: 0, or 1 (the
    // EDID kept as it was) when it cannot be read or is not valid.
    int GetEDIDFromMon();
    // The base block of the monitor's EDID, unchecked: 0, or -1 when there
    // is none.
    int ReadEdidFromMonitor(EdidBlock& edid);

    // Three maker letters ("ABC"): 0, or -1 when a code is not a letter.
    int GetManufactureIDFromEDID(std::string& id);
    // The product code as four lower-case hexadecimal digits, high byte
    // first ("1234"): 0.
    int GetProductIDFromEDID(std::string& id);
    // The red, green and blue primaries: 0, or -1 when one has y = 0.
    int GetPrimaryColorChromaticityFromEDID(XyzTriple& red, XyzTriple& green, XyzTriple& blue);

    // The white of a colour temperature on the CIE daylight locus: 0, or
    // kTemperatureOutOfRange (the white untouched).
    int ConvertFromColorTempIntoColorChrom(int kelvin, XyzTriple& white);

    const EdidBlock& Edid() const { return m_edid; }
    // Takes an EDID as read elsewhere; false (and nothing changed) when it
    // is not valid.
    bool SetEdid(std::span<const std::uint8_t> edid);

    const ProbeTable& Probe() const { return m_probe; }
    int MonitorNumber() const { return m_monitorNumber; }
    int NewControlValueSupported() const { return m_newControlValueSupported; }

private:
    CDdcCiLink& m_link;
    CMccsCapabilities& m_capabilities;
    CTraceLog& m_trace;
    ProbeTable m_probe{};
    int m_monitorNumber = 0;
    int m_newControlValueSupported = 0;
    EdidBlock m_edid{};
};

#include "verdict/FigureLabels.h"

#include "verdict/Figures.h"

namespace kt {

namespace {

struct Label {
  const char* Name;  // the figure's name, per-harmonic arrays without their bin
  // For a per-harmonic array '#' stands for the bin: an ordinal in English
  // ("3rd"), the number in Chinese ("3").
  const char* English;
  const char* Chinese;
};

// The words of the pages, kind by kind. Where a page shows a figure under
// its channel's heading ("灯丝电流:" then "峰值:"), the label joins the two;
// where a page has no word of its own for a figure, the label is made in
// the style of its neighbours, so that no two figures read the same.
constexpr Label Labels[] = {
    // Input and comprehensive pages: the value table, the THD lines, the
    // crest factors; the phase page's angles.
    {"Urms", "Urms", "电压"},
    {"Irms", "Irms", "电流"},
    {"Irmsw", "Irmsw", "宽频电流"},
    {"P", "P", "功率"},
    {"PF", "PF", "功率因数"},
    {"PFw", "PFw", "宽频功率因数"},
    {"THDU", "THDU", "电压总谐波"},
    {"THDI", "THDI", "电流总谐波"},
    {"THDIw", "THDIw", "宽频电流总谐波"},
    {"Freq", "Freq", "频率"},
    {"CFv", "CFv", "电压波峰比"},
    {"CFi", "CFi", "电流波峰比"},
    {"PhaseBegin", "Begin Phase", "起始相位"},
    {"PhasePeak", "Peak Phase", "峰值相位"},
    {"PhaseEnd", "End Phase", "终止相位"},
    // The harmonic tables: percent of the fundamental on the input page,
    // amperes and mA per watt on the phase page.
    {"CurrentHarmonicPct", "Current # harmonic", "电流 # 次谐波"},
    {"VoltageHarmonicPct", "Voltage # harmonic", "电压 # 次谐波"},
    {"CurrentHarmonic", "# harmonic current", "# 次谐波电流"},
    {"CurrentPerWatt", "# harmonic current per watt", "每瓦 # 次谐波电流"},
    // Output page.
    {"OscFreq", "f", "振荡频率"},
    {"Pout", "Pout", "灯功率"},
    {"Vm", "Vm", "灯电压峰值"},
    {"Vrms", "Vrms", "灯电压有效值"},
    {"Vcf", "Vcf", "灯电压波峰系数"},
    {"Ilm", "Ilm", "灯电流峰值"},
    {"Ilrms", "Ilrms", "灯电流有效值"},
    {"IlcfPos", "Ilcf+", "灯电流正波波峰系数"},
    {"IlcfNeg", "Ilcf−", "灯电流负波波峰系数"},
    {"Ildhc", "Ildhc", "灯电流半波差"},
    {"Ifm", "Ifm", "灯丝电流峰值"},
    {"Ifrms", "Ifrms", "灯丝电流有效值"},
    {"Ifcf", "Ifcf", "灯丝电流波峰系数"},
    {"Ikm", "Ikm", "导入阴极电流峰值"},
    {"Ikrms", "Ikrms", "导入阴极电流有效值"},
    {"Ikcf", "Ikcf", "导入阴极电流波峰系数"},
    // Start page: its peaks are the start's, not the output page's.
    {"PeakU", "Peak Voltage", "灯电压启动峰值"},
    {"PeakIl", "Peak Lamp Current", "灯电流启动峰值"},
    {"PeakIf", "Peak Filament Current", "灯丝电流启动峰值"},
    {"PeakIk", "Peak Cathode Lead Current", "导入阴极电流启动峰值"},
    {"PeakTimeU", "Time to Peak Voltage", "灯电压到达峰值时间"},
    {"PeakTimeIl", "Time to Peak Lamp Current", "灯电流到达峰值时间"},
    {"PeakTimeIf", "Time to Peak Filament Current", "灯丝电流到达峰值时间"},
    {"PeakTimeIk", "Time to Peak Cathode Lead Current", "导入阴极电流到达峰值时间"},
    {"WarmUpTime", "Time for Warm-up", "预热时间"},
    // The analysis window's rows.
    {"WaveRmsU", "RMS--U", "灯电压--U"},
    {"WaveRmsIl", "RMS--Il", "灯电流--Il"},
    {"WaveRmsIf", "RMS--If", "灯丝电流--If"},
    {"WaveRmsIk", "RMS--Ik", "阴极电流--Ik"},
    {"CrestFactorU", "CF--U", "灯电压--U 波峰比"},
    {"CrestFactorIl", "CF--Il", "灯电流--Il 波峰比"},
    {"CrestFactorIf", "CF--If", "灯丝电流--If 波峰比"},
    {"CrestFactorIk", "CF--Ik", "阴极电流--Ik 波峰比"},
};

std::string Ordinal(int n) {
  const int tens = n % 100, units = n % 10;
  const char* suffix = tens >= 11 && tens <= 13 ? "th"
                       : units == 1             ? "st"
                       : units == 2             ? "nd"
                       : units == 3             ? "rd"
                                                : "th";
  return std::to_string(n) + suffix;
}

}  // namespace

std::string FigureLabel(std::string_view figureName, bool chinese) {
  if (!IsFigureName(figureName)) return std::string(figureName);
  const auto open = figureName.find('[');
  const std::string_view base = figureName.substr(0, open);
  for (const Label& l : Labels) {
    if (base != l.Name) continue;
    std::string text = chinese ? l.Chinese : l.English;
    const auto mark = text.find('#');
    if (mark != std::string::npos && open != std::string_view::npos) {
      // A figure name's bin is canonical: one or two digits before ']'.
      const std::string bin(figureName.substr(open + 1, figureName.size() - open - 2));
      text.replace(mark, 1, chinese ? bin : Ordinal(std::stoi(bin)));
    }
    return text;
  }
  return std::string(figureName);
}

}  // namespace kt

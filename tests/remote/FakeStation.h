#pragma once
// A station for the remote tests: it records what it is told and answers
// from fixed figures.
#include <map>
#include <string>
#include <vector>

#include "remote/RemoteSession.h"

namespace kt {

struct FakeStation final : RemoteStation {
  bool busy = false;
  std::vector<TestKind> started;
  std::map<std::string, std::string> info;
  std::string limits = "NONE";
  std::vector<std::string> notes;
  std::string Identity() const override { return "Maker,KT6100,0,1.1.0"; }
  bool Busy() const override { return busy; }
  int StartRun(TestKind kind, std::string&) override { return started.push_back(kind), busy = true, 0; }
  int StartScan(const std::string& text, std::string& error) override {
    if (text.empty()) return error = "scan refused: the scan is empty", 1;
    return busy = true, 0;
  }
  void Abort() override { busy = false; }
  void Reset() override { busy = false, info.clear(); }
  int SetLimits(const std::string& name, std::string& error) override {
    if (name == "missing") return error = "no such profile", 1;
    return limits = name, 0;
  }
  std::string Limits() const override { return limits; }
  int SetInfo(const std::string& field, const std::string& value, std::string&) override {
    return info[field] = value, 0;
  }
  int Info(const std::string& field, std::string& value) const override {
    const auto it = info.find(field);
    return it == info.end() ? (value.clear(), 0) : (value = it->second, 0);
  }
  std::string Verdict() const override { return "PASS"; }
  int Scalar(const std::string& figure, double& v, bool& measured) const override {
    if (figure == "Urms") return v = 229.5, measured = true, 0;
    if (figure == "PF") return measured = false, 0;
    return 1;
  }
  int Array(const std::string& figure, std::vector<double>& values) const override {
    return figure == "H" ? (values = {100, 30.5}, 0) : 1;
  }
  int RunJson(std::string& json) const override { return json = R"({"kind":"input"})", 0; }
  int Store(const std::string&, std::string&) override { return 0; }
  int Print(const std::string&, std::string&) override { return 0; }
  void Note(const std::string& peer, const std::string& what) override { notes.push_back(peer + " " + what); }
};

}  // namespace kt

// Runs the Windows build of the tool (wordhaul.exe) under Wine, on the same scenarios as
// the native build, so that the two can be held to the same outcomes.
//
// One Wine prefix serves the whole test run: $WORDHAUL_E2E_WINEPREFIX (kept from run to
// run), else a temporary one. Each scenario replaces the prefix's dictionary trees with its
// own. The Wine server is started once, without root's power over file modes (Wine opens
// files in its server), and ended when the tests are done.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "e2e/tool_runner.h"

namespace e2e {

class WineRunner final : public ToolRunner {
  public:
    explicit WineRunner(std::string tool) : tool_(std::move(tool)) {}

    std::string Name() const override { return "wine"; }
    std::string User() const override { return "wordhaul"; }
    bool CanRestrictAccess() const override { return !IsRoot() || HaveSetpriv(); }
    std::vector<Outcome> Run(const Scenario& scenario) override;

    // Runs with the Windows version that Wine reports to the tool set to `version`
    // ("winxp", ...) for these runs only.
    std::vector<Outcome> RunAsWindowsVersion(const Scenario& scenario, const std::string& version);

  private:
    std::string tool_;
};

// True when this test run has a Windows build to run: $WORDHAUL_WINE_TOOL names it.
bool HaveWindowsBuild();
std::unique_ptr<WineRunner> MakeWineRunner();

}  // namespace e2e

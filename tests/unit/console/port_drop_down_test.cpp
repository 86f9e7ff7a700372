#include "link/LinkFixture.h"

#include "console/Commands.h"

class PortDropDown : public LinkFixture {
protected:
    void Plug(const std::string& interfacePath, const std::string& friendlyName)
    {
        ports.interfaces.push_back({interfacePath, friendlyName, "Communications Port", std::nullopt});
        ports.openablePaths.insert(interfacePath);
    }
};

TEST_F(PortDropDown, RefillsTheEntriesInListOrderAndSelectsTheFirstAgain)
{
    Plug("\\\\?\\acpi#pnp0501#1", "Communications Port (COM3)");
    Plug("\\\\?\\acpi#pnp0501#2", "Communications Port (COM7)");
    OnPortDropDown(console);
    view.SelectPortEntry(1);
    OnPortDropDown(console);

    EXPECT_EQ(view.portEntries,
              (std::vector<std::string>{"COM3-->Communications Port (COM3)", "COM7-->Communications Port (COM7)"}));
    EXPECT_EQ(view.SelectedPortEntry(), 0);
    EXPECT_EQ(SelectedPortPath(console), "\\\\.\\COM3");
    EXPECT_TRUE(view.log.empty());
}

TEST_F(PortDropDown, NoPortsLeaveAnEmptyListWithNothingSelected)
{
    view.AddPortEntry("COM1-->COM1");
    view.SelectPortEntry(0);
    OnPortDropDown(console);
    EXPECT_TRUE(view.portEntries.empty());
    EXPECT_EQ(view.SelectedPortEntry(), -1);
}

TEST_F(PortDropDown, ADiscoveryErrorIsOneAppendedLineAndTheListShowsWhatWasFound)
{
    view.AppendLog("earlier", false);
    ports.classDevsError = 0x1f;
    OnPortDropDown(console);

    EXPECT_EQ(view.log, (std::vector<LogLine>{{"earlier", false}, {"SetupDiGetClassDevs failed. (err=1f)", false}}));
    EXPECT_TRUE(view.portEntries.empty());
    EXPECT_EQ(view.SelectedPortEntry(), -1);
}

// No failure reported as success, as a property of random runs. Each seed
// makes a point-of-sale machine (which devices, ports with or without the
// serial-port interface, drivers and port names already there or not, OEM
// copies of the drivers there), choices, and one fault injected somewhere
// into an INSTALL or UNINSTALL run; then the matching CHECK runs on what the
// operation left, without a fault. For every seed:
//  - the check changes nothing, and calls nothing that could;
//  - an operation that exits 0 and shows no failure in its status lines or
//    its trace leaves a machine the check finds as the operation leaves it
//    (exit 0); so one whose failure the rules let pass (a port row, an OEM
//    copy) must show it;
//  - a search that failed is never passed over: it fails an uninstall, and
//    a port's mapping shows "[Failed]".
// A failing seed is printed with its machine; keep it in kKeptSeeds.
#include "machine_fixture.h"

#include <random>

using namespace pos;

namespace {

// Seeds that once failed, replayed first: 1 with the Ports-class lookup
// taken out, 1151 with a failed search taken for "not found".
constexpr unsigned kKeptSeeds[] = {1, 1151};

// Runs per suite: fewer under TSan, which slows the machine tenfold.
#ifdef ZAN_SANITIZED
constexpr unsigned kRuns = 200;
#else
constexpr unsigned kRuns = 2000;
#endif

// What an operation's trace says when something failed.
constexpr const char* kFailureWords[] = {"Failed", "failed", "Failure", "Error", "Abnormal",
                                         "not available", "not read", "could not"};
// Codes an operation may fail with that are no answer of its own ("not
// there", "no more"): a failure that imitated one could not be told apart.
constexpr DWORD kFaultCodes[] = {ERROR_ACCESS_DENIED, 8 /* not enough memory */, ERROR_INVALID_FUNCTION};

class Dice {
public:
    explicit Dice(unsigned seed) : engine_(seed) {}
    bool Chance(int percent) { return std::uniform_int_distribution<int>(0, 99)(engine_) < percent; }
    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_); }

private:
    std::mt19937 engine_;
};

// The fault, armed at the n-th pause of the run (0: before it starts).
struct Fault {
    std::string operation;
    bool always = false;
    DWORD error = 0;
    unsigned atPause = 0;
};
Fault g_fault;
unsigned g_pauses = 0;

void Arm() {
    if (g_fault.operation.empty()) return;
    g_fault.always ? sim::TheMachine().FailAlways(g_fault.operation, g_fault.error)
                   : sim::TheMachine().FailNext(g_fault.operation, g_fault.error);
}

class CheckPropertyTest : public MachineTest {
protected:
    // Builds the seed's machine and returns its description, for a failing seed.
    std::string Arrange(Dice& dice) {
        std::string said;
        PutTableInfs();
        int oem = 10;
        const auto withDriver = [&](sim::Device device, const char* inf, const char* id) {
            if (!dice.Chance(50)) return device;
            device.driverInf = kInf + inf;
            machine().PutFile(kInf + "oem" + std::to_string(oem) + ".inf", std::string("[Models]\r\n%D%=I, ") + id + "\r\n");
            machine().PutFile(kInf + "oem" + std::to_string(oem++) + ".PNF", "pnf");
            said += " (with its driver)";
            return device;
        };
        if (dice.Chance(70)) {
            said += " base device";
            machine().AddDevice(withDriver(BaseDevice(), "ZANBaseD.inf", kBaseId));
        }
        if (dice.Chance(15)) {
            said += " decoys";
            sim::Device decoy = BaseDevice("ROOT\\DECOY\\0");
            decoy.properties[SPDRP_DEVICEDESC] = sim::Sz(std::string(kBaseDesc) + " 2");
            decoy.properties[SPDRP_HARDWAREID] = sim::MultiSz({"ZANDECOY\\LONGER"});
            machine().AddDevice(decoy);
        }
        for (int card = 0; card < (dice.Chance(15) ? 2 : dice.Chance(90) ? 1 : 0); ++card) {
            sim::Device device = withDriver(Card("PCI\\VEN_1D9E&DEV_0B54\\CARD" + std::to_string(card)),
                                            "4port\\ZAN2kmf.inf", kCardId);
            device.present = !dice.Chance(10);
            said += device.present ? " card" : " card (not present)";
            machine().AddDevice(device);
        }
        for (char letter : {'C', 'D', 'E', 'F'}) {
            if (!dice.Chance(85)) continue;
            sim::Device port = Port(letter);
            said += std::string(" port ") + letter;
            if (dice.Chance(40)) {
                port.interfaces.clear();
                said += " (no interface)";
            }
            if (dice.Chance(30)) {
                port.driverInf = kInf + "ZANPorts.inf";
                said += " (with its driver)";
            }
            machine().AddDevice(port);
            if (dice.Chance(30)) {
                const std::string name = dice.Chance(50) ? "COM" + std::to_string(3 + (letter - 'C')) : "COM9";
                machine().SetValue(ParamsKey(kPorts[letter - 'C'].instanceId), "PortName", sim::Sz(name));
                said += " named " + name;
            }
        }
        return said;
    }

    // The seed's fault, or none.
    Fault PickFault(Dice& dice) {
        Fault fault;
        if (!dice.Chance(85)) return fault;
        std::vector<std::string> operations;
        for (const std::string_view operation : plat::kOperations) {
            const auto& faultless = sim::kOperationsWithoutFault;
            if (std::find(std::begin(faultless), std::end(faultless), operation) == std::end(faultless))
                operations.emplace_back(operation);
        }
        fault.operation = operations[dice.Below(operations.size())];
        fault.always = dice.Chance(50);
        fault.error = kFaultCodes[dice.Below(std::size(kFaultCodes))];
        fault.atPause = static_cast<unsigned>(dice.Below(12));
        return fault;
    }

    static bool ShowsAFailure(const Lines& statusLines, const Lines& trace) {
        for (const std::string& line : statusLines)
            if (line.find("[Failed]") != std::string::npos) return true;
        for (const std::string& line : trace)
            for (const char* word : kFailureWords)
                if (line.find(word) != std::string::npos) return true;
        return false;
    }

    void Play(unsigned seed) {
        SetUp();
        Dice dice(seed);
        const std::string machineSaid = Arrange(dice);
        const bool uninstall = dice.Chance(40);
        std::string choices = dice.Chance(50) ? " UNATTENDED" : " SILENT";
        if (!uninstall && dice.Chance(50)) choices += " BASE_DEVICE";
        if (!uninstall && dice.Chance(50)) choices += " MAROVEL_SERIAL";
        g_fault = PickFault(dice);
        const std::string operation = std::string(uninstall ? "UNINSTALL" : "INSTALL") + choices;
        const std::string story = "seed " + std::to_string(seed) + ":" + machineSaid + "; " + operation +
                                  (g_fault.operation.empty()
                                       ? ""
                                       : "; " + g_fault.operation + (g_fault.always ? " failing always" : " failing") +
                                             " with " + std::to_string(g_fault.error) + " from pause " +
                                             std::to_string(g_fault.atPause));
        SCOPED_TRACE(story);

        g_pauses = 0;
        machine().onSleep = [](DWORD) {
            if (++g_pauses == g_fault.atPause) Arm();
        };
        if (g_fault.atPause == 0) Arm();
        const int operationExit = RunWholeProgram(operation);
        machine().ClearFaults();
        machine().onSleep = nullptr;
        const bool failureShown = ShowsAFailure(Timeline(), Trace());
        const Lines operationTrace = Trace();
        const Lines statusLines = Timeline();
        const auto failedSearches = std::count_if(operationTrace.begin(), operationTrace.end(), [](const std::string& l) {
            return l.rfind("----> Abnormal Exit", 0) == 0;
        });
        const auto failedPorts = std::count_if(statusLines.begin(), statusLines.end(), [](const std::string& l) {
            return l.rfind("Mapping ", 0) == 0 && l.find("[Failed]") != std::string::npos;
        });
        if (uninstall && operationExit == 0) EXPECT_EQ(failedSearches, 0) << "an uninstall passed over a failed search";
        if (!uninstall) EXPECT_LE(failedSearches, failedPorts) << "a port's failed search counted as mapped";

        ResetDeviceTable();
        machine().ClearTrace();
        const std::string before = machine().StateText();
        const auto calls = ChangingCalls();
        const int checkExit = RunWholeProgram(std::string("CHECK") + (uninstall ? " UNINSTALL" : "") + choices);

        EXPECT_EQ(machine().StateText(), before) << "the check changed the machine";
        EXPECT_EQ(ChangingCalls(), calls) << "the check called what changes the machine";
        if (operationExit == 0 && !failureShown) {
            EXPECT_EQ(checkExit, 0) << "a failure reported as success";
        }
        if (HasFailure()) {
            std::printf("FAILING SEED: %s\n", story.c_str());
            for (const std::string& line : Trace()) std::printf("    check trace: %s\n", line.c_str());
        }
        TearDown();
    }
};

TEST_F(CheckPropertyTest, NoFailureIsReportedAsSuccess) {
    for (const unsigned seed : kKeptSeeds) Play(seed);
    for (unsigned seed = 1000; seed < 1000 + kRuns && !HasFailure(); ++seed) Play(seed);
}

}  // namespace

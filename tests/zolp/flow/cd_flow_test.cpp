// "Create a Bootable CD" driven as a user would: the ISO saved to a file, or
// burned through the MMC layer onto the simulated writer, with the real vellix;
// the images checked with cmp, isoinfo, xorriso and qemu.
#include "flow/cd_flow.h"

#include <algorithm>
#include <map>

#include "common/endian.h"
#include "flow/burn_flow.h"
#include "flow_harness.h"
#include "resource.h"
#include "tool_time_limit.h"
#include "zolp/mmc.h"
#include "zolp/report.h"

namespace zolp::testing {
namespace {

using CdDialog = Dialog<CdFlow>;
using BurnDialog = Dialog<BurnFlow>;
namespace op = mmc_opcode;

constexpr const char* kInsertMedia =
    "Please insert CD-R or CD-RW media in the drive then press OK to continue.";
constexpr const char* kSuccess = "Successfully created the CD.";

// What one burn through both dialogs left to look at.
struct BurnRun {
  std::optional<DialogResult> cd, burn;
  bool burnDialogRan = false;
  bool hiddenBeforeSuccess = false;
  std::map<int, RecordingView::ControlState> burnControls;  // as the burn ended
};

class CdFlowTest : public FlowTest {
 protected:
  CdFlowTest() {
    UsePackage();
    UseWriter("cd-r");
  }

  void UseWriter(const std::string& media, const std::string& more = {}) {
    UseDevices(Format("cdwriter E \"%s\" %s\n", Disc().c_str(), media.c_str()) + more);
  }
  void SetVerify(bool on) {
    options_.verify = on;
    Wire();
  }
  std::filesystem::path Disc() const { return root_ / "disc.iso"; }
  // The image vellix built for the burn, copied before the burn dialog opened.
  std::filesystem::path Built() const { return root_ / "built.iso"; }
  sim::SimulatedMmcDrive& Writer() { return *devices_->CdWriterAt('E'); }
  std::size_t Sent(std::uint8_t opcode) { return Writer().CommandsWithOpcode(opcode).size(); }

  // The CD dialog with the burn box checked, OK, and Burn on the burn dialog;
  // `answer` answers the burn's questions.
  BurnRun Burn(const std::function<Reply(const AskedBox&)>& answer = {},
               const std::function<void()>& beforeBurn = {}) {
    BurnRun run;
    CdDialog cd(host_, pump_, s_, [&](const std::string& image) {
      run.burnDialogRan = true;
      std::filesystem::copy_file(Host(image), Built(),
                                 std::filesystem::copy_options::overwrite_existing);
      BurnDialog burn(host_, pump_, s_, image);
      burn.view.onAsk = [&](const AskedBox& box) {
        if (box.text == kSuccess) run.hiddenBeforeSuccess = !burn.view.dialogShown;
        if (answer) return answer(box);
        if (box.buttons != Buttons::Ok) ADD_FAILURE() << "unexpected question: " << box.text;
        return Reply::Ok;
      };
      if (beforeBurn) beforeBurn();
      burn.Click(kIdOk);
      run.burn = burn.view.ended;
      run.burnControls = burn.view.controls;
      return burn.view.Ended(DialogResult::Ok);
    });
    EXPECT_TRUE(cd.view.controls[IDC_CD_BURN].enabled);
    cd.Click(IDC_CD_BURN);
    cd.Click(kIdOk);
    run.cd = cd.view.ended;
    // Whatever happened, the temporary image is gone and the disc can come out.
    EXPECT_EQ(TemporaryImagesLeft(), 0);
    EXPECT_FALSE(Writer().mediaLocked());
    EXPECT_EQ(Writer().exclusiveHolder(), nullptr);  // let go, whatever happened
    return run;
  }

  // The status texts the burn posted, in order, without repeats.
  std::vector<std::string> Statuses() const {
    std::vector<std::string> texts;
    for (const sim::PostedMessage& post : host_.Posts())
      if (post.message == kMsgProgress && post.lParam != 0 &&
          (texts.empty() || texts.back() != post.text))
        texts.push_back(post.text);
    return texts;
  }
  std::vector<int> Percents() const {
    std::vector<int> percents;
    for (const sim::PostedMessage& post : host_.Posts())
      if (post.message == kMsgProgress && post.wParam != 0)
        percents.push_back(static_cast<int>(post.wParam));
    return percents;
  }
  std::vector<std::string> BoxTitles() const {
    std::vector<std::string> titles;
    for (const auto& m : host_.Messages()) titles.push_back(m.title);
    return titles;
  }
  static bool Shows(const std::string& command) {
    return std::system(testtools::WithTimeLimit(command + " >/dev/null 2>&1").c_str()) == 0;
  }
  // isoinfo reads the volume, xorriso finds the El Torito hard-disk boot image.
  static void ExpectBootableIso(const std::filesystem::path& iso) {
    EXPECT_TRUE(Shows("isoinfo -d -i " + Quote(iso) + " | grep -q 'Volume id: A05'")) << iso;
    EXPECT_TRUE(Shows("xorriso -indev " + Quote(iso) +
                      " -report_el_torito plain 2>&1 | grep -Eq 'El Torito boot img : +1 +BIOS +y +hd'"))
        << iso;
  }
  void ExpectDiscHolds(const std::filesystem::path& image) {
    EXPECT_TRUE(SameBytes(Disc(), image));
    EXPECT_EQ(Writer().disc, sim::DiscStatus::Complete);
  }
};

// --- the image dialog --------------------------------------------------------

TEST_F(CdFlowTest, DefaultPathFollowsImageNameOfTheCdSection) {
  struct Row {
    const char* line;  // "" for a section without ImageName
    const char* path;
  } rows[] = {
      {"ImageName=D:\\images\\x.iso", "D:\\images\\x.iso"},
      {"ImageName=\\images\\x.iso", "\\images\\x.iso"},
      {"ImageName = x.iso", "C:\\PACKAGE\\x.iso"},
      {"", "C:\\PACKAGE\\diags.iso"},
      {"ImageName=D:\\images\\", "C:\\PACKAGE\\diags.iso"},  // no file name
  };
  for (const Row& row : rows) {
    WriteFile(Cwd("DD.CFG"), std::string("[HDD]\r\nImageName=hdd.img\r\n[CD]\r\n") + row.line +
                                 "\r\n[FLASH]\r\nImageName=usb.img\r\n");
    CdDialog d(host_, pump_, s_, [](const std::string&) { return false; });
    EXPECT_EQ(d.view.Text(IDC_CD_PATH), row.path);
    EXPECT_FALSE(d.view.IsChecked(IDC_CD_BURN));
    d.Click(kIdCancel);
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
  }
  EXPECT_TRUE(host_.Messages().empty());
}

// Only an administrator with a writer may burn; the box swaps the path for
// "Burn CD" and back, keeping what the user typed.
TEST_F(CdFlowTest, BurningNeedsAnAdministratorAndAWriter) {
  struct Row {
    bool administrator, writer, enabled;
  } rows[] = {{true, true, true}, {false, true, false}, {true, false, false}, {false, false, false}};
  for (const Row& row : rows) {
    host_.administrator = row.administrator;
    if (row.writer) UseWriter("none");  // an empty writer is still a writer
    else UseDevices("floppy A \"" + (root_ / "a.img").string() + "\"\n");
    CdDialog d(host_, pump_, s_, [](const std::string&) { return false; });
    EXPECT_EQ(d.view.controls[IDC_CD_BURN].enabled, row.enabled)
        << row.administrator << row.writer;
    d.Click(kIdCancel);
  }
  host_.administrator = true;
  UseWriter("cd-r");
  CdDialog d(host_, pump_, s_, [](const std::string&) { return false; });
  d.view.SetText(IDC_CD_PATH, "C:\\typed.iso");
  d.Click(IDC_CD_BURN);
  EXPECT_TRUE(d.view.IsChecked(IDC_CD_BURN));
  EXPECT_EQ(d.view.Text(IDC_CD_PATH), "Burn CD");
  EXPECT_FALSE(d.view.controls[IDC_CD_PATH].enabled);
  EXPECT_FALSE(d.view.controls[IDC_CD_BROWSE].enabled);
  d.Click(IDC_CD_BURN);
  EXPECT_FALSE(d.view.IsChecked(IDC_CD_BURN));
  EXPECT_EQ(d.view.Text(IDC_CD_PATH), "C:\\typed.iso");
  EXPECT_TRUE(d.view.controls[IDC_CD_PATH].enabled);
  EXPECT_TRUE(d.view.controls[IDC_CD_BROWSE].enabled);
}

TEST_F(CdFlowTest, TheBrowseButtonOffersIsoFiles) {
  CdDialog d(host_, pump_, s_, [](const std::string&) { return false; });
  d.view.savePath = "D:\\images\\chosen.iso";
  d.Click(IDC_CD_BROWSE);
  ASSERT_EQ(d.view.saveRequests.size(), 1u);
  const SaveFileRequest& r = d.view.saveRequests[0];
  EXPECT_EQ(r.title, "Select Location for ISO CD Image File");
  EXPECT_EQ(r.filter, "ISO Files (*.iso)|*.iso|All Files|*.*||");
  EXPECT_EQ(r.directory, "C:\\PACKAGE");
  EXPECT_EQ(r.fileName, "OrvoDiag.iso");
  EXPECT_EQ(d.view.Text(IDC_CD_PATH), "D:\\images\\chosen.iso");
  // Burning and back: the chosen path is the one shown again.
  d.Click(IDC_CD_BURN);
  d.Click(IDC_CD_BURN);
  EXPECT_EQ(d.view.Text(IDC_CD_PATH), "D:\\images\\chosen.iso");
}

TEST_F(CdFlowTest, SavedIsoEqualsVellixsAndPassesIsoinfoAndXorriso) {
  CdDialog d(host_, pump_, s_, [](const std::string&) {
    ADD_FAILURE() << "no burn when saving";
    return false;
  });
  d.Click(kIdOk);
  EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
  EXPECT_FALSE(d.view.dialogShown);
  const std::vector<LaunchRequest> runs = launcher_.Requests();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].commandLine,
            "vellix.exe dd.cfg CD -v\"A05\" -N\"A05\" -i\"C:\\PACKAGE\\OrvoDiag.iso\"");
  EXPECT_TRUE(runs[0].environment.empty());
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"The CD ISO image file was successfully created."});
  EXPECT_EQ(host_.Messages()[0].title, "Success!");
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Information);
  EXPECT_FALSE(std::filesystem::exists(Cwd("vellix.exe")));

  const auto saved = Cwd("OrvoDiag.iso");
  ASSERT_EQ(VellixByHand("CD", "A05", root_ / "hand.iso", "-NA05"), 0);
  EXPECT_TRUE(SameBytes(saved, root_ / "hand.iso"));
  ExpectBootableIso(saved);
  EXPECT_EQ(Sent(op::kWrite10), 0u);  // the writer was only asked what it is
}

// Saving over a file needs a yes; a failed build leaves neither the user's
// file nor a temporary image behind, and no burn starts.
TEST_F(CdFlowTest, ReplaceQuestionAndFailedBuilds) {
  WriteFile(Cwd("OrvoDiag.iso"), "an image the technician keeps");
  {
    CdDialog d(host_, pump_, s_, [](const std::string&) { return false; });
    d.view.onAsk = [](const AskedBox& box) {
      EXPECT_EQ(box.text,
                "The file C:\\PACKAGE\\OrvoDiag.iso already exists. Do you want to replace it?");
      EXPECT_EQ(box.title, "File Exists");
      EXPECT_EQ(box.buttons, Buttons::YesNo);
      return Reply::No;
    };
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
    EXPECT_TRUE(launcher_.Requests().empty());
    EXPECT_EQ(ReadFile(Cwd("OrvoDiag.iso")), "an image the technician keeps");
  }
  // vellix refuses the CD section: a readme too large for the CD (code 70).
  WriteFile(Cwd("readme.txt"), std::string(70000, 'r'));
  for (const bool burn : {false, true}) {
    SCOPED_TRACE(burn ? "burning" : "saving");
    host_.ClearRecords();
    bool burnRan = false;
    CdDialog d(host_, pump_, s_, [&](const std::string&) { return burnRan = true; });
    d.view.onAsk = [](const AskedBox&) { return Reply::Yes; };
    if (burn) d.Click(IDC_CD_BURN);
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
    EXPECT_FALSE(burnRan);
    EXPECT_EQ(MessageTexts().back(), "The ISO readme file exceeds the maximum length allowed.");
    EXPECT_FALSE(std::filesystem::exists(Cwd("OrvoDiag.iso")));
    EXPECT_EQ(TemporaryImagesLeft(), 0);
  }
}

// --- burning -----------------------------------------------------------------

TEST_F(CdFlowTest, ABlankCdRHoldsTheImageBuiltForTheBurn) {
  SetVerify(false);  // the burn alone: the read-back has a case of its own
  const BurnRun run = Burn();
  EXPECT_EQ(run.burn, DialogResult::Ok);
  EXPECT_EQ(run.cd, DialogResult::Ok);
  EXPECT_TRUE(run.hiddenBeforeSuccess);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(host_.Messages()[0].title, "Success!");

  // vellix built into a temporary ~DP file of the package folder.
  const std::vector<LaunchRequest> runs = launcher_.Requests();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].commandLine.rfind("vellix.exe dd.cfg CD -v\"A05\" -N\"A05\" -i\".\\~DP", 0), 0u)
      << runs[0].commandLine;
  ExpectDiscHolds(Built());
  ASSERT_EQ(VellixByHand("CD", "A05", root_ / "hand.iso", "-NA05"), 0);
  EXPECT_TRUE(SameBytes(Disc(), root_ / "hand.iso"));
  ExpectBootableIso(Disc());

  // The drive's commands: ready, profile, blank test, locked, one track of
  // 16 KiB writes from LBA 0, flushed, the session closed, unlocked.
  std::vector<std::uint8_t> order;
  for (const sim::RecordedCommand& c : Writer().commands())
    if (order.empty() || order.back() != c.request.cdb[0]) order.push_back(c.request.cdb[0]);
  EXPECT_EQ(order, (std::vector<std::uint8_t>{
                       op::kModeSense10,  // the writer list
                       op::kTestUnitReady, op::kGetConfiguration, op::kReadDiscInformation,
                       op::kTestUnitReady, op::kPreventAllowRemoval, op::kSetCdSpeed,
                       op::kSendOpcInformation, op::kReadDiscInformation, op::kModeSense10,
                       op::kModeSelect10, op::kWrite10, op::kSynchronizeCache10,
                       op::kCloseTrackSession, op::kTestUnitReady, op::kPreventAllowRemoval}));
  const auto writes = Writer().CommandsWithOpcode(op::kWrite10);
  const std::uintmax_t size = std::filesystem::file_size(Built());
  ASSERT_EQ(writes.size(), (size + 16383) / 16384);
  for (std::size_t i = 0; i < writes.size(); ++i)
    EXPECT_EQ(common::load_be32(writes[i].request.cdb + 2), i * 8) << i;
  EXPECT_EQ(Writer().writeParametersPage().at(2), 0x01);  // track-at-once

  EXPECT_EQ(Statuses(), (std::vector<std::string>{
                            " Waiting for the drive to become ready...", " Blank check...",
                            " Waiting for the drive to become ready...",
                            " Setting CD write speed...", " Sending OPC information...",
                            " Setting write parameters...", " Copying files...",
                            " Waiting to write all data to the media...", " Closing the CD..."}));
  const std::vector<int> percents = Percents();
  ASSERT_GT(percents.size(), 6u);
  EXPECT_EQ(std::vector<int>(percents.begin(), percents.begin() + 4),
            (std::vector<int>{5, 10, 30, 35}));
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents[percents.size() - 2], 84);  // the last piece starts short of 85
  EXPECT_EQ(percents.back(), 100);

  // The dialog: its look, the animation while burning, the bar and the percentage.
  auto controls = run.burnControls;
  EXPECT_EQ(controls[IDC_BURN_WRITERS].items,
            (std::vector<std::pair<std::string, std::uintptr_t>>{{"(E:) SIMUL CD-RW WRITER", 'E'}}));
  EXPECT_EQ(controls[IDC_BURN_WARNING].look->colour, Rgb(255, 0, 0));
  EXPECT_EQ(controls[IDC_BURN_WARNING].look->flags, kFontBold);
  EXPECT_EQ(controls[IDC_BURN_WARNING].look->size, 13);
  EXPECT_EQ(controls[IDC_BURN_PROGRESS].barColour, Rgb(0, 0, 0x91));
  EXPECT_EQ(controls[IDC_BURN_PROGRESS].barPositions.front(), 0);
  EXPECT_EQ(controls[IDC_BURN_PROGRESS].barPositions.back(), 100);
  EXPECT_EQ(controls[IDC_BURN_PERCENT].text, "100%");
  EXPECT_EQ(controls[IDC_BURN_STATUS].text, " Closing the CD...");
  EXPECT_EQ(controls[IDC_BURN_ANIMATION].animation, IDA_COPY);
  EXPECT_FALSE(controls[kIdOk].enabled);
  EXPECT_FALSE(controls[kIdCancel].enabled);
  EXPECT_EQ(host_.OutstandingAllocations(), 0);
}

// The blank and the close of a slow writer take minutes, longer than any
// command may: both go with the immediate bit and the drive is asked until it
// is done.
TEST_F(CdFlowTest, AWrittenCdRwIsBlankedFirstHoweverLongItTakes) {
  UseWriter("cd-rw-written");
  Writer().blankSeconds = 200;
  Writer().closeSeconds = 150;
  const std::uint64_t start = host_.Milliseconds();
  const BurnRun run = Burn();
  EXPECT_EQ(run.burn, DialogResult::Ok);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kSuccess});
  ExpectDiscHolds(Built());
  const auto& commands = Writer().commands();
  const auto firstOf = [&](std::uint8_t opcode) {
    return std::find_if(commands.begin(), commands.end(),
                        [&](const sim::RecordedCommand& c) { return c.request.cdb[0] == opcode; });
  };
  ASSERT_NE(firstOf(op::kBlank), commands.end());
  EXPECT_EQ(firstOf(op::kBlank)->request.cdb[1], 0x11);  // minimal blank, immediate
  EXPECT_LT(firstOf(op::kBlank), firstOf(op::kWrite10));
  EXPECT_EQ(firstOf(op::kCloseTrackSession)->request.cdb[1], 0x01);  // immediate
  EXPECT_GE(host_.Milliseconds() - start, 350000u);
  EXPECT_GE(Sent(op::kTestUnitReady), 350u);  // once a second while it works
  const std::vector<std::string> statuses = Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), " Erasing the CD..."), statuses.end());
}

// Writers with small buffers answer "long write in progress" now and then:
// the write is sent again, and the disc is not wasted.
TEST_F(CdFlowTest, AWriterWhoseBufferFillsIsWrittenWhole) {
  UseWriter("cd-r longwrite=3");
  const BurnRun run = Burn();
  EXPECT_EQ(run.burn, DialogResult::Ok);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kSuccess});
  ExpectDiscHolds(Built());
  const std::size_t pieces = (std::filesystem::file_size(Built()) + 16383) / 16384;
  const std::size_t sent = Sent(op::kWrite10);
  EXPECT_EQ(sent - sent / 3, pieces);  // every third one sent is refused, then sent again
}

// Another program that has the writer open (the system's burning service)
// would come between the writes of the track: the burn holds the writer for
// itself, and says so when another program holds it already.
TEST_F(CdFlowTest, AnotherProgramIsKeptOffTheWriterDuringTheBurn) {
  UseWriter("cd-r shared");
  const BurnRun run = Burn();
  EXPECT_EQ(run.burn, DialogResult::Ok);
  ExpectDiscHolds(Built());
  EXPECT_GT(Writer().pollsRefused(), 0);

  host_.ClearRecords();
  UseWriter("cd-r");
  const BurnRun held = Burn({}, [&] { Writer().heldElsewhere = true; });
  EXPECT_EQ(held.burn, DialogResult::Cancel);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{
                                "The CD writer is in use by another program. Close that program, "
                                "then try again."});
  EXPECT_EQ(Sent(op::kWrite10), 0u);
}

// Each prompt repeats while the drive holds the same disc; another disc and OK
// go on with the burn, Cancel ends it before anything is locked or written.
TEST_F(CdFlowTest, MediaPromptsWaitForAnotherDiscOrCancel) {
  struct Row {
    const char* media;
    const char* title;
    sim::CdMedia inserted;  // None: the user cancels at the second prompt
  } rows[] = {
      {"none", "Media Problem", sim::CdMedia::CdR},
      {"none", "Media Problem", sim::CdMedia::None},
      {"dvd", "Unsupported media", sim::CdMedia::CdRw},
      {"cd-rom", "Unsupported media", sim::CdMedia::None},
      {"cd-r-written", "Media Unusable", sim::CdMedia::CdR},
      {"cd-r-written", "Media Unusable", sim::CdMedia::None},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.media) + (row.inserted == sim::CdMedia::None ? ", cancel" : ""));
    host_.ClearRecords();
    UseWriter(row.media);
    int prompts = 0;
    const BurnRun run = Burn([&](const AskedBox& box) {
      if (box.buttons == Buttons::Ok) return Reply::Ok;
      EXPECT_EQ(box.title, row.title);
      EXPECT_EQ(box.text, std::string(row.title) == "Media Unusable"
                              ? "The disc inserted in the drive is not blank and cannot be erased. "
                                "Insert another disc and click OK to try again."
                              : kInsertMedia);
      EXPECT_EQ(box.icon, MessageIcon::Warning);
      EXPECT_EQ(box.buttons, Buttons::OkCancel);
      if (++prompts == 1) return Reply::Ok;  // the same disc: asked again
      if (row.inserted == sim::CdMedia::None) return Reply::Cancel;
      sim::InsertDisc(Writer(), row.inserted);
      return Reply::Ok;
    });
    EXPECT_EQ(prompts, 2);
    if (row.inserted == sim::CdMedia::None) {
      EXPECT_EQ(run.burn, DialogResult::Cancel);
      EXPECT_EQ(run.cd, DialogResult::Cancel);
      EXPECT_EQ(Sent(op::kPreventAllowRemoval), 0u);
      EXPECT_EQ(Sent(op::kWrite10), 0u);
      EXPECT_EQ(Sent(op::kBlank), 0u);
      EXPECT_EQ(BoxTitles(), std::vector<std::string>(2, row.title));
    } else {
      EXPECT_EQ(run.burn, DialogResult::Ok);
      ExpectDiscHolds(Built());
      EXPECT_EQ(MessageTexts().back(), kSuccess);
    }
  }
}

// A failed step is named, the later steps are skipped, and the drive is
// unlocked; the disc is never reported as made.
TEST_F(CdFlowTest, FailedStepsAreNamedAndLeaveTheDriveUnlocked) {
  sim::InjectedFailure writeError;  // medium error on the fourth WRITE (10)
  writeError.senseKey = 0x03;
  writeError.asc = 0x0C;
  writeError.after = 3;
  sim::InjectedFailure illegal;  // invalid field in CDB
  sim::InjectedFailure notReady;  // not ready, cause not reportable, for good
  notReady.senseKey = 0x02;
  notReady.asc = 0x04;
  notReady.times = -1;
  struct Row {
    const char* media;
    std::uint8_t opcode;
    sim::InjectedFailure failure;
    const char* message;
    std::vector<std::uint8_t> neverSent;
  } rows[] = {
      {"cd-r", op::kTestUnitReady, notReady, "The CD drive is not ready; cannot continue.",
       {op::kPreventAllowRemoval, op::kWrite10}},
      {"cd-rw-written", op::kBlank, illegal, "Failed to erase the CD.",
       {op::kModeSelect10, op::kWrite10}},
      {"cd-r", op::kModeSelect10, illegal,
       "Cannot create the CD. Failed to set the write parameters.", {op::kWrite10}},
      {"cd-r", op::kWrite10, writeError, "Failed to copy the files to the CD.",
       {op::kSynchronizeCache10, op::kCloseTrackSession}},
      {"cd-r", op::kSynchronizeCache10, illegal,
       "Cannot create the CD. Failed to write all data to the media.", {op::kCloseTrackSession}},
      {"cd-r", op::kCloseTrackSession, illegal, "Cannot create the CD. Failed to close the CD.", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    host_.ClearRecords();
    UseWriter(row.media);
    Writer().Fail(row.opcode, row.failure);
    const BurnRun run = Burn();
    EXPECT_EQ(run.burn, DialogResult::Cancel);
    EXPECT_EQ(run.cd, DialogResult::Cancel);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{row.message});
    EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Error"});
    EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Warning);
    for (std::uint8_t opcode : row.neverSent) EXPECT_EQ(Sent(opcode), 0u) << int{opcode};
    if (std::string(row.media) == "cd-r") {
      EXPECT_NE(Writer().disc, sim::DiscStatus::Complete);  // the session stays open
    }
    if (row.opcode == op::kWrite10) {
      EXPECT_EQ(Sent(op::kWrite10), 4u);
      EXPECT_EQ(Percents().back(), 100);
      const auto locks = Writer().CommandsWithOpcode(op::kPreventAllowRemoval);
      ASSERT_EQ(locks.size(), 2u);
      EXPECT_EQ(locks[0].request.cdb[4], 1);
      EXPECT_EQ(locks[1].request.cdb[4], 0);
    }
  }
}

// Lock, speed and OPC failures are only told in verbose mode; the burn goes on.
TEST_F(CdFlowTest, LockSpeedAndOpcFailuresShowOnlyInVerboseMode) {
  for (const bool verbose : {false, true}) {
    SCOPED_TRACE(verbose ? "verbose" : "quiet");
    SetVerbose(verbose);
    UseWriter("cd-r");
    host_.ClearRecords();
    sim::InjectedFailure illegal;
    for (std::uint8_t opcode : {op::kPreventAllowRemoval, op::kSetCdSpeed, op::kSendOpcInformation})
      Writer().Fail(opcode, illegal);
    const BurnRun run = Burn();
    EXPECT_EQ(run.burn, DialogResult::Ok);
    ExpectDiscHolds(Built());
    std::vector<std::string> told;
    for (const auto& m : host_.Messages())
      if (m.text.rfind("Could not", 0) == 0) told.push_back(m.text);
    const std::vector<std::string> expected = {"Could not lock the drive.",
                                               "Could not set the optimal speed settings.",
                                               "Could not set the OPC information."};
    EXPECT_EQ(told, verbose ? expected : std::vector<std::string>{});
    EXPECT_EQ(MessageTexts().back(), kSuccess);
  }
}

// Unless "noverify" was given the closed disc is read back: a writer that
// silently drops a block, or a block that cannot be read, fails the burn with
// the block named.
TEST_F(CdFlowTest, VerifyCatchesADiscThatDiffersFromTheImage) {
  EXPECT_TRUE(options_.verify);  // the default
  sim::InjectedFailure unreadable;  // the third read, and the single-block read after it
  unreadable.senseKey = 0x03;
  unreadable.asc = 0x11;
  unreadable.after = 2;
  unreadable.times = 2;
  struct Row {
    const char* name;
    bool verify;
    std::optional<std::uint32_t> dropBlock;
    std::optional<sim::InjectedFailure> readFailure;
    const char* message;
  } rows[] = {
      {"a good disc", true, std::nullopt, std::nullopt, kSuccess},
      {"a dropped block", true, 16u, std::nullopt,
       "Verification of the CD failed. Block 16 differs from the image."},
      {"a dropped block, not verified", false, 16u, std::nullopt, kSuccess},
      {"an unreadable block", true, std::nullopt, unreadable,
       "Verification of the CD failed. Block 16 could not be read."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetVerify(row.verify);
    UseWriter("cd-r");
    host_.ClearRecords();
    Writer().dropBlock = row.dropBlock;
    if (row.readFailure) Writer().Fail(op::kRead10, *row.readFailure);
    const BurnRun run = Burn();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{row.message});
    EXPECT_EQ(run.burn, std::string(row.message) == kSuccess ? DialogResult::Ok
                                                             : DialogResult::Cancel);
    EXPECT_EQ(Writer().disc, sim::DiscStatus::Complete);  // verified after the close
    EXPECT_EQ(SameBytes(Disc(), Built()), !row.dropBlock.has_value());
    const std::vector<std::string> statuses = Statuses();
    const bool verified = std::find(statuses.begin(), statuses.end(), " Verifying the CD...") !=
                          statuses.end();
    EXPECT_EQ(verified, row.verify);
    const auto reads = Writer().CommandsWithOpcode(op::kRead10);
    if (!row.verify) {
      EXPECT_TRUE(reads.empty());
    }
    if (std::string(row.name) == "a good disc") {
      // Every block read back once, in pieces of 8 blocks.
      std::uint64_t blocks = 0;
      for (const auto& r : reads) {
        EXPECT_EQ(common::load_be32(r.request.cdb + 2), blocks);
        blocks += common::load_be16(r.request.cdb + 7);
      }
      EXPECT_EQ(blocks * 2048, std::filesystem::file_size(Built()));
      EXPECT_EQ(Percents().back(), 100);
    }
    EXPECT_EQ(host_.OutstandingAllocations(), 0);
  }
}

// A worker that cannot start is reported; nothing is left behind and a file
// being replaced stays as it was.
TEST_F(CdFlowTest, WorkersThatCannotStartAreReported) {
  WriteFile(Cwd("OrvoDiag.iso"), "kept");
  for (const bool burn : {false, true}) {
    host_.ClearRecords();
    host_.failWorkerStarts = 1;
    CdDialog d(host_, pump_, s_, [](const std::string&) { return false; });
    d.view.onAsk = [](const AskedBox&) { return Reply::Yes; };
    if (burn) d.Click(IDC_CD_BURN);
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
    EXPECT_EQ(MessageTexts().back(), "Start vellix failed with error 8.");
  }
  EXPECT_EQ(ReadFile(Cwd("OrvoDiag.iso")), "kept");
  EXPECT_EQ(TemporaryImagesLeft(), 0);
  EXPECT_TRUE(launcher_.Requests().empty());

  host_.ClearRecords();
  CdDialog d(host_, pump_, s_, [&](const std::string& image) {
    BurnDialog burn(host_, pump_, s_, image);
    host_.failWorkerStarts = 1;
    burn.Click(kIdOk);
    EXPECT_TRUE(burn.view.Ended(DialogResult::Cancel));
    return false;
  });
  d.Click(IDC_CD_BURN);
  d.Click(kIdOk);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Start copy failed with error 8."});
  EXPECT_EQ(TemporaryImagesLeft(), 0);
  EXPECT_EQ(Sent(op::kTestUnitReady), 0u);  // the writer was only listed

  // No temporary name for the burn's image: nothing is built.
  host_.ClearRecords();
  files_.failTemporaryNames = true;
  const std::size_t started = launcher_.Requests().size();
  CdDialog noName(host_, pump_, s_, [](const std::string&) { return false; });
  noName.Click(IDC_CD_BURN);
  noName.Click(kIdOk);
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{
                "Failed to create the CD. Create temporary filename failed with error 5: Access is denied."});
  EXPECT_EQ(launcher_.Requests().size(), started);
}

TEST_F(CdFlowTest, TheProgramsOwnDriveIsRefused) {
  options_.programDrive = 'E';
  Wire();
  const BurnRun run = Burn();
  EXPECT_EQ(run.burn, DialogResult::Cancel);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Cannot format the media you are executing from."});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Error"});
  EXPECT_EQ(Sent(op::kTestUnitReady), 0u);  // the drive was only listed
  EXPECT_EQ(std::filesystem::file_size(Disc()), 0u);
}

TEST_F(CdFlowTest, TheBurnDialogListsEveryWriterAndStaysWhileItBurns) {
  UseWriter("cd-r", "cdwriter F \"" + (root_ / "f.iso").string() + "\" cd-rw\n");
  BurnDialog d(host_, pump_, s_, ".\\none.iso");
  EXPECT_EQ(d.view.controls[IDC_BURN_WRITERS].items,
            (std::vector<std::pair<std::string, std::uintptr_t>>{{"(E:) SIMUL CD-RW WRITER", 'E'},
                                                                  {"(F:) SIMUL CD-RW WRITER", 'F'}}));
  EXPECT_EQ(d.view.SelectedListItem(IDC_BURN_WRITERS), 0);
  EXPECT_EQ(d.view.Text(IDC_BURN_STATUS), " Waiting for user...");
  EXPECT_EQ(d.view.Text(IDC_BURN_PERCENT), "0%");
  d.view.SelectListItem(IDC_BURN_WRITERS, 1);
  // The worker's messages are not delivered yet: Cancel and OK do nothing.
  d.view.onAsk = [](const AskedBox&) { return Reply::Ok; };
  d.flow.OnCommand(kIdOk);
  EXPECT_TRUE(d.flow.Burning());
  d.flow.OnCommand(kIdCancel);
  d.flow.OnCommand(kIdOk);
  EXPECT_FALSE(d.view.ended.has_value());
  pump_.Run();
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));  // there is no image to burn
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{"Opening the image file for reading failed with error 2: The system "
                                      "cannot find the file specified.",
                                      "Failed to copy the files to the CD."}));
  EXPECT_EQ(devices_->CdWriterAt('F')->CommandsWithOpcode(op::kModeSelect10).size(), 1u);
  EXPECT_EQ(Sent(op::kTestUnitReady), 0u);  // E: was not chosen
  EXPECT_FALSE(devices_->CdWriterAt('F')->mediaLocked());

  UseDevices("");
  host_.ClearRecords();
  BurnDialog none(host_, pump_, s_, ".\\none.iso");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"No CD writers were found. Cannot continue with this option."});
  EXPECT_EQ(BoxTitles(), std::vector<std::string>{"Serious Error"});
  EXPECT_TRUE(none.view.Ended(DialogResult::Cancel));
}

TEST_F(CdFlowTest, SavedAndBurnedDiscsBoot) {
  {
    CdDialog d(host_, pump_, s_, [](const std::string&) { return false; });
    d.Click(kIdOk);
    ASSERT_TRUE(d.view.Ended(DialogResult::Ok));
  }
  EXPECT_TRUE(Boots("cd", Cwd("OrvoDiag.iso"), "A05"));
  ASSERT_EQ(Burn().burn, DialogResult::Ok);
  EXPECT_TRUE(Boots("cd", Disc(), "A05"));
}

}  // namespace
}  // namespace zolp::testing

#include "cli/help_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// The expected text, kept apart from the program's copy: one entry per printed line.
const std::vector<std::string> kExpectedLines = {
    "Welcome to the Halvex Util Tool!",
    "This is a simple command line tool to perform several content management functions to "
    "install/delete/modify assets.",
    std::string(58, '-'),
    "HalvexUtil help - Display this help text.",
    "HalvexUtil version - Display the HalvexUtil build version.",
    "HalvexUtil echo <text> - Echo the supplied text.",
    "HalvexUtil installCDP <PATH> - Install an asset from a CDP file.",
    "HalvexUtil installfrompath <PATH> - Install an asset from a directory.",
    "HalvexUtil installfromvdx <KUID> - Install an asset from the Orvel Vendrix.",
    "HalvexUtil edit <KUID> - Open an asset for editing.",
    "HalvexUtil printconfig <KUID> - Print a config file to stdout.",
    "HalvexUtil backupkeywords - Backup all the keywords of your assets.",
    "HalvexUtil importkeywords - Import keywords into the Halvex Asset Database.",
    "HalvexUtil commit <KUID> - Commit any edits that have been made to the specified asset.",
    "HalvexUtil revert <KUID> - Discard any edits that have been made to the specified asset.",
    "HalvexUtil delete <KUID> - Delete the specified asset from disk.",
    "HalvexUtil generateKUID - Generate a new KUID number in the local user's KUID range.",
    "HalvexUtil createCDP <Output Filename.cdp> <kuid1> <kuid2> <kuidX> ... - Export assets to a "
    "CDP file.",
    "HalvexUtil repairdatabase - Repairs the Halvex Asset Database.",
    "HalvexUtil authors - List of all the authorIDs that have content in the game.",
    R"(HalvexUtil searchbycategory [-a] <CatgoryList>  - List all the local assets with a )"
    R"(category set in this format, "CMP;MESH|BD;-ACTV|VE|SCEN". Use the -a parameter if you )"
    R"(want to search the vendrix as well.)",
    "HalvexUtil importconsists <PATH> - Import an old style Veldor consist list, creating consist "
    "assets for any unknown entries.",
    "HalvexUtil status <KUID> - Print the status of the specified asset.",
    "\tThis will output <KUID> : <Flags> : <category> : <username> where flags are a series of "
    "letters with case indicating boolean state. (Capital letters are flagged true and lowercase "
    "are flagged false.)",
    "\tEe - The asset is open for edit.",
    "\tIi - The asset is installed locally.",
    "\tAa - The asset is archived.",
    "\tDd - The asset is on the vendrix.",
    "\tLl - The asset is locally modified.",
    "\tMm - The asset has missing dependencies.",
    "\tFf - The asset is faulty.",
    "HalvexUtil validate <KUID> - Perform validation and display any errors or warnings relating "
    "to this asset.",
    "HalvexUtil compile <PATH> - Compile a script file.",
    "\t<-d>       Display vurudadeda documentation.",
    "\t<-s>       Silent mode.",
    "\t<-bPATH>   Specify a filepath for the compile log.",
    "\t<-pPATH>   Specify the output directory.",
    "\t<-oPATH>   Specify the output library filename.",
    "\t<PATH>     Input source file.",
    "\t<-iPATH>   Additional include path.",
    "HalvexUtil encrypt <PATH> - Encrypt a script file (gs --> gse).",
    // The listbuilds line runs straight into the batch line.
    "HalvexUtil listbuilds <PATH> - Print the list of installed build numbers to a file"
    "HalvexUtil @<file.txt> - Batch-execute a series of commands from the specified text file "
    "(every argument must be between double quotes.) Every line of that text file will be "
    "processed like a separate call to HalvexUtil.",
    "",
};

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    if (!text.empty() && text.back() == '\n') lines.push_back("");
    return lines;
}

TEST(HelpText, IsTheSystemsTextByteForByte) {
    std::string expected;
    for (size_t i = 0; i < kExpectedLines.size(); ++i)
        expected += (i == 0 ? "" : "\n") + kExpectedLines[i];
    EXPECT_EQ(GetHelpText(), expected);
    // Line by line as well, so that a difference is easy to find.
    std::vector<std::string> lines = SplitLines(GetHelpText());
    ASSERT_EQ(lines.size(), kExpectedLines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], kExpectedLines[i]) << i;
}

TEST(HelpText, CompileOptionsLineUpInOneColumn) {
    for (const std::string& line : SplitLines(GetHelpText())) {
        if (line.rfind("\t<", 0) != 0) continue;
        size_t close = line.find('>');
        ASSERT_NE(close, std::string::npos) << line;
        // The option and its padding fill 11 characters after the tab.
        EXPECT_EQ(line.find_first_not_of(' ', close + 1), 12u) << line;
    }
}

}  // namespace

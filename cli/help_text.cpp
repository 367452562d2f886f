#include "cli/help_text.h"

namespace {

// The "listbuilds" line has no line end of its own: the batch line follows it on the same
// line. Installers have always seen it that way, so it stays.
constexpr std::string_view kHelpText =
    "Welcome to the Halvex Util Tool!\n"
    "This is a simple command line tool to perform several content management functions to "
    "install/delete/modify assets.\n"
    "----------------------------------------------------------\n"
    "HalvexUtil help - Display this help text.\n"
    "HalvexUtil version - Display the HalvexUtil build version.\n"
    "HalvexUtil echo <text> - Echo the supplied text.\n"
    "HalvexUtil installCDP <PATH> - Install an asset from a CDP file.\n"
    "HalvexUtil installfrompath <PATH> - Install an asset from a directory.\n"
    "HalvexUtil installfromvdx <KUID> - Install an asset from the Orvel Vendrix.\n"
    "HalvexUtil edit <KUID> - Open an asset for editing.\n"
    "HalvexUtil printconfig <KUID> - Print a config file to stdout.\n"
    "HalvexUtil backupkeywords - Backup all the keywords of your assets.\n"
    "HalvexUtil importkeywords - Import keywords into the Halvex Asset Database.\n"
    "HalvexUtil commit <KUID> - Commit any edits that have been made to the specified asset.\n"
    "HalvexUtil revert <KUID> - Discard any edits that have been made to the specified asset.\n"
    "HalvexUtil delete <KUID> - Delete the specified asset from disk.\n"
    "HalvexUtil generateKUID - Generate a new KUID number in the local user's KUID range.\n"
    "HalvexUtil createCDP <Output Filename.cdp> <kuid1> <kuid2> <kuidX> ... - Export assets to "
    "a CDP file.\n"
    "HalvexUtil repairdatabase - Repairs the Halvex Asset Database.\n"
    "HalvexUtil authors - List of all the authorIDs that have content in the game.\n"
    "HalvexUtil searchbycategory [-a] <CatgoryList>  - List all the local assets with a "
    "category set in this format, \"CMP;MESH|BD;-ACTV|VE|SCEN\". Use the -a parameter if you "
    "want to search the vendrix as well.\n"
    "HalvexUtil importconsists <PATH> - Import an old style Veldor consist list, creating "
    "consist assets for any unknown entries.\n"
    "HalvexUtil status <KUID> - Print the status of the specified asset.\n"
    "\tThis will output <KUID> : <Flags> : <category> : <username> where flags are a series of "
    "letters with case indicating boolean state. (Capital letters are flagged true and "
    "lowercase are flagged false.)\n"
    "\tEe - The asset is open for edit.\n"
    "\tIi - The asset is installed locally.\n"
    "\tAa - The asset is archived.\n"
    "\tDd - The asset is on the vendrix.\n"
    "\tLl - The asset is locally modified.\n"
    "\tMm - The asset has missing dependencies.\n"
    "\tFf - The asset is faulty.\n"
    "HalvexUtil validate <KUID> - Perform validation and display any errors or warnings "
    "relating to this asset.\n"
    "HalvexUtil compile <PATH> - Compile a script file.\n"
    "\t<-d>       Display vurudadeda documentation.\n"
    "\t<-s>       Silent mode.\n"
    "\t<-bPATH>   Specify a filepath for the compile log.\n"
    "\t<-pPATH>   Specify the output directory.\n"
    "\t<-oPATH>   Specify the output library filename.\n"
    "\t<PATH>     Input source file.\n"
    "\t<-iPATH>   Additional include path.\n"
    "HalvexUtil encrypt <PATH> - Encrypt a script file (gs --> gse).\n"
    "HalvexUtil listbuilds <PATH> - Print the list of installed build numbers to a file"
    "HalvexUtil @<file.txt> - Batch-execute a series of commands from the specified text file "
    "(every argument must be between double quotes.) Every line of that text file will be "
    "processed like a separate call to HalvexUtil.\n";

}  // namespace

std::string_view GetHelpText() {
    return kHelpText;
}

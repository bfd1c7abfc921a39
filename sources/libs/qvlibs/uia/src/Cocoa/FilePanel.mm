// The file dialog over GNUstep's NSOpenPanel and NSSavePanel.
//
// GNUstep (Debian 12) hands out one shared open panel and one shared save
// panel for the whole process, so a setting made for one dialog would carry
// over to the next. Every setting that a dialog may change is therefore
// made on each run, back to the panel's first values where this dialog has
// none of its own.
#include "Common/FilePanel.h"
#include "GNUstepHeaders.h"

namespace QV::UIA::DETAIL {

namespace {

// What the shared panel of a kind showed when it was first handed out, for
// dialogs that do not set their own.
struct PanelDefaults {
    NSString* title = nil;
    NSString* prompt = nil;
    BOOL extensionHidden = NO;
};

const PanelDefaults& defaultsOf(NSSavePanel* panel)
{
    static PanelDefaults open, save;
    static bool openTaken = false, saveTaken = false;
    const bool isOpen = [panel isKindOfClass:[NSOpenPanel class]];
    PanelDefaults& defaults = isOpen ? open : save;
    bool& taken = isOpen ? openTaken : saveTaken;
    if (!taken) {
        taken = true;
        defaults.title = [[panel title] copy];
        defaults.prompt = [[panel prompt] copy];
        defaults.extensionHidden = [panel isExtensionHidden];
    }
    return defaults;
}

NSString* toNSString(const std::string& text)
{
    NSString* string = [NSString stringWithUTF8String:text.c_str()];
    // Text that is not UTF-8 gives nil; an empty string is the safe stand-in.
    return string != nil ? string : @"";
}

} // namespace

bool runPlatformFilePanel(const FilePanelRequest& request, GP::URI& chosen)
{
    chosen = GP::URI();
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    const bool save = request.kind == FilePanelRequest::eSaveFile;
    NSSavePanel* panel = save ? [NSSavePanel savePanel] : [NSOpenPanel openPanel];
    // Taken before this run changes anything.
    const PanelDefaults& defaults = defaultsOf(panel);
    if (!save) {
        NSOpenPanel* open = (NSOpenPanel*)panel;
        const bool folder = request.kind == FilePanelRequest::eChooseFolder;
        [open setCanCreateDirectories:folder && request.canCreateDirectories];
        [open setCanChooseDirectories:folder];
        [open setCanChooseFiles:!folder];
        [open setAllowsMultipleSelection:NO];
        [open setPrompt:folder ? @"Choose" : defaults.prompt];
    }

    [panel setExtensionHidden:request.showExtensions ? NO : defaults.extensionHidden];
    [panel setTitle:request.title.empty() ? defaults.title : toNSString(request.title)];
    if (!request.folder.empty())
        [panel setDirectoryURL:[NSURL fileURLWithPath:toNSString(request.folder) isDirectory:YES]];
    if (save && [panel respondsToSelector:@selector(setNameFieldStringValue:)])
        [panel setNameFieldStringValue:toNSString(request.name)];

    NSMutableArray* types = [NSMutableArray array];
    for (const std::string& extension : request.allowedExtensions)
        [types addObject:toNSString(extension)];
    [panel setAllowedFileTypes:[types count] ? types : nil];
    [panel setAllowsOtherFileTypes:request.allowsOtherTypes];

    if (save && request.beforeSavePanelRuns)
        request.beforeSavePanelRuns(panel);

    // The panels answer 1 (NSOKButton) when the user confirmed. GNUstep's
    // runModal of a save panel empties the name field before it shows the
    // panel, so a save panel is run with its folder and name given again, as
    // they stand after the callback.
    NSInteger answer;
    if (save)
        answer = [panel runModalForDirectory:[panel directory] file:[panel nameFieldStringValue]];
    else
        answer = [panel runModal];
    const bool confirmed = answer == NSOKButton;
    if (confirmed) {
        NSURL* url = nil;
        if (save) {
            url = [panel URL];
        } else {
            NSArray* urls = [(NSOpenPanel*)panel URLs];
            url = [urls count] ? [urls objectAtIndex:0] : nil;
        }
        if (url != nil)
            chosen = GP::URI(reinterpret_cast<CFURLRef>(url));
    }
    [pool release];
    return confirmed;
}

} // namespace QV::UIA::DETAIL

#import "Root.h"

// The application's root controller.
@implementation RootController

- (void)awakeFromNib
{
    [window setTitle:ZovTranslate(@"Vistel")];
    [status setStringValue:ZovTranslateWithComment(@"Ready", @"Status bar text after start-up")];
}

- (void)showFileError:(NSError *)error operationType:(int)type source:(NSString *)source destination:(NSString *)destination
{
    NSString *text = ZovTranslate(@"Cannot copy \"%@\".");
    NSString *path = ZovTranslate(@"Folder\\Pictures");
    NSString *lines = ZovTranslate(@"First line\nSecond line");
}

@end

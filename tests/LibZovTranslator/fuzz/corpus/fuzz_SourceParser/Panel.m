#import "Panel.h"

@implementation Panel

- (id)init
{
    if ((self = [super init]))
        title_ = [ZovTranslate(@"Places") retain];
    return self;
}

+ (NSString *)panelName { return ZovTranslate(@"Panel"); }

@end

@implementation Panel (Menus)

- (void)buildMenu:(NSMenu *)menu
{
    [menu addItemWithTitle:ZovTranslate(@"Places") action:nil keyEquivalent:@""];
    [menu addItemWithTitle:ZovTranslate(@"Show in File Manager") action:nil keyEquivalent:@""];
}

@end

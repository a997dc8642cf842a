@implementation A <P>
- (void)log:(id)f, ... { ZovTranslateWithComment(@"t", @"c"); }
+ (id)a:(int)x :(int)y; { }
@end
@implementation A (C)
@end

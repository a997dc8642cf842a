@implementation Main
- (void)m { ZovTranslate(@"Main"); }
@end

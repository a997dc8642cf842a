@implementation AbsoluteThing
- (void)m { ZovTranslate(@"From an absolute group"); }
@end

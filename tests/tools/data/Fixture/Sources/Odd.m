@implementation Odd
- (void)m { ZovTranslate(@"Encoding the platform does not offer"); }
@end

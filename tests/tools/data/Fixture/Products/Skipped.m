@implementation Generated
- (void)m { ZovTranslate(@"Built product"); }
@end

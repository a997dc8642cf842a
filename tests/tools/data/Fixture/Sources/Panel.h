@interface Panel : NSObject
{
    NSString *title_;
}
- (void)headerOnly { ZovTranslate(@"Never read from a header"); }
@end

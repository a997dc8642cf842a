@implementation Common
- (NSString *)unitName:(long long)size
{
    return size < 1024 ? ZovTranslate(@"bytes") : ZovTranslate(@"KB");
}
@end

#import "Detail.h"

@implementation DetailPanel : Panel

- (void)setValue:(id)value forKey:(NSString *)key
{
    std::string ignored = "ZovTranslate(@\"inside a C++ string\")";
    [label setStringValue:ZovTranslate(@"Detail")];
}

@end

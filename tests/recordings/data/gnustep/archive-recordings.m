// Writes two recordings with GNUstep Base's own keyed archiver, in its binary and its XML
// property-list forms, as another implementation of the platform's archiver stores them.
// Build and run with make-archives.sh.
#import <Foundation/Foundation.h>

@interface KPPianoKeyAction : NSObject <NSCoding> {
    NSNumber* index;
    NSNumber* state;
    NSNumber* interval;
}
@property (nonatomic, retain) NSNumber* index;
@property (nonatomic, retain) NSNumber* state;
@property (nonatomic, retain) NSNumber* interval;
@end

@implementation KPPianoKeyAction
@synthesize index, state, interval;
- (void)encodeWithCoder:(NSCoder*)coder
{
    [coder encodeObject:self.index forKey:@"index"];
    [coder encodeObject:self.state forKey:@"state"];
    [coder encodeObject:self.interval forKey:@"interval"];
}
- (id)initWithCoder:(NSCoder*)coder
{
    if ((self = [super init])) {
        self.index = [coder decodeObjectForKey:@"index"];
        self.state = [coder decodeObjectForKey:@"state"];
        self.interval = [coder decodeObjectForKey:@"interval"];
    }
    return self;
}
@end

@interface KPPianoRecording : NSObject <NSCoding> {
    NSArray* actions;
    NSString* soundBankName;
    NSDate* recordingDate;
    NSString* recordingName;
}
@property (nonatomic, copy) NSArray* actions;
@property (nonatomic, copy) NSString* soundBankName;
@property (nonatomic, copy) NSDate* recordingDate;
@property (nonatomic, copy) NSString* recordingName;
@end

@implementation KPPianoRecording
@synthesize actions, soundBankName, recordingDate, recordingName;
- (void)encodeWithCoder:(NSCoder*)coder
{
    [coder encodeObject:self.actions forKey:@"actions"];
    [coder encodeObject:self.soundBankName forKey:@"soundbankname"];
    [coder encodeObject:self.recordingDate forKey:@"recordingdate"];
    [coder encodeObject:self.recordingName forKey:@"recordingname"];
}
- (id)initWithCoder:(NSCoder*)coder
{
    if ((self = [super init])) {
        self.actions = [coder decodeObjectForKey:@"actions"];
        self.soundBankName = [coder decodeObjectForKey:@"soundbankname"];
        self.recordingDate = [coder decodeObjectForKey:@"recordingdate"];
        self.recordingName = [coder decodeObjectForKey:@"recordingname"];
    }
    return self;
}
@end

static KPPianoKeyAction* action(int index, int state, float interval)
{
    KPPianoKeyAction* a = [[KPPianoKeyAction new] autorelease];
    a.index = [NSNumber numberWithInt:index];
    a.state = [NSNumber numberWithInt:state];
    a.interval = [NSNumber numberWithFloat:interval];
    return a;
}

int main(int argc, const char* argv[])
{
    NSAutoreleasePool* pool = [NSAutoreleasePool new];
    {
        if (argc != 2) {
            fprintf(stderr, "usage: archive-recordings <output folder>\n");
            return 2;
        }
        NSString* folder = [NSString stringWithUTF8String:argv[1]];
        KPPianoRecording* named = [KPPianoRecording new];
        named.actions = [NSArray arrayWithObjects:action(21, 0, 0.0f), action(21, 1, 0.5f),
                                                  action(60, 0, 1.25f), action(60, 1, 2.0f), nil];
        named.soundBankName = @"Music Box";
        // 2024-05-01 12:00:00 UTC
        named.recordingDate = [NSDate dateWithTimeIntervalSinceReferenceDate:736257600.0];
        named.recordingName = @"Étude";
        KPPianoRecording* unnamed = [KPPianoRecording new];
        unnamed.actions =
            [NSArray arrayWithObjects:action(83, 0, 0.0f), action(83, 1, 0.25f), nil];
        unnamed.soundBankName = @"Banjo";
        unnamed.recordingDate = [NSDate dateWithTimeIntervalSinceReferenceDate:736171200.0];
        NSArray* recordings = [NSArray arrayWithObjects:named, unnamed, nil];

        struct {
            NSPropertyListFormat format;
            NSString* name;
        } forms[] = {{NSPropertyListBinaryFormat_v1_0, @"recordings-binary"},
                     {NSPropertyListXMLFormat_v1_0, @"recordings-xml"}};
        for (unsigned i = 0; i < 2; ++i) {
            NSMutableData* data = [NSMutableData data];
            NSKeyedArchiver* archiver = [[NSKeyedArchiver alloc] initForWritingWithMutableData:data];
            [archiver setOutputFormat:forms[i].format];
            [archiver encodeObject:recordings forKey:@"root"];
            [archiver finishEncoding];
            NSString* path = [folder stringByAppendingPathComponent:forms[i].name];
            if (![data writeToFile:path atomically:YES]) {
                fprintf(stderr, "cannot write %s\n", [path UTF8String]);
                return 1;
            }
        }
    }
    [pool release];
    return 0;
}

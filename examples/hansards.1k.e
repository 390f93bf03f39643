2 .
2 .
oh , oh !
oh , oh !
oh , oh !
let us remember , Mr. Speaker , that these segments of our society form the backbone of our economy .
hear , hear !
hear , hear !
Mr. Speaker , my question is directed to the Minister of Transport .
both have many years experience in the manufacture and distribution of forest products .
1 .
another point I should like to discuss is the right of the supplier to choose his customers as he sees fit .
i am getting sick and tired of ministers who seem to have some hang - up with regard to the collective bargaining process .
there is just one specific item more that I would like to comment upon and then I will sit down , Mr. Speaker .
order , please .
3 .
i can refer him to no better authority on the subject than the hon. member for Don Valley , not just myself .
it is quite understandable .
in addition , it could become a serious threat to Confederation and national unity .
in view of this , we deemed it inadvisable to attend the meeting and so informed COJO .
Mr. Speaker , the minister suggested that a greater building program might lead to inflationary pressure .
i disagree with the argument advanced by the minister .
there is a lot to be said on both sides of that question .
order .
Mr. Speaker , as I indicated to the Leader of the Opposition , I would hope to make an announcement on this question on November 1 .
quite right .
it does not bring anybody closer to rehabilitation to isolate him from the public .
he left a wife and family .
on a point of order , Mr. Chairman , I am sure the hon. member for Verdun would not have denigrated my position .
can the insurance industry in turn act as an airline ?
i say this to you , Mr. Speaker : the people of Toronto know the government has no answers .
their evidence on the state of each stock was taken fully into account .
thank you very much , Mr. Speaker , and I thank hon. members for allowing me the privilege to continue .
i urge this intensive study , Mr. Speaker , for we know so little about the reasons that turn people into criminals .
the government must assist its own employees who may need another language to advance their careers .
i do not have any qualms about the type of language I use .
motion agreed to .
Mr. Speaker , no decision has been reached as yet but I should think so .
the matter of trade relations with our European counterparts should be very seriously considered .
what we should be concerned with in this country is the situation when these animals are shipped out of Canada for this purpose .
they have already given an indication of the branches they intend to close .
this minister watched while half the proceeds and profits of the Canadian agriculture industry were swept away in a budget speech .
Mr. Chairman , absolutely none .
we are analysing the report now and I hope to have some information for the House in the near future .
hear , hear !
hear , hear !
i would therefore move , seconded by the hon. member for Dartmouth - Halifax East ( Mr. Forrestall ) :
when we realize the extent of the ravages caused by organized crime in our country , we must consider deep - rooted solutions .
but oh how their popularity soared and they coasted through on that .
( 2 ) A committee is bound by , and not at liberty to depart from , the order of reference .
there is one other point I should like to make , and I do so as I feel this is a general debate .
in December there was an announcement that British Columbia would be withdrawing from CEMA .
they have also given rise to considerable opposition by hon. members in all parties on this side of the House .
those are not the lines that one should be concerned about at this time .
i have allowed the hon. member two supplementaries and in fairness I think we should go to some other hon. members .
i think that is good .
i think that the time taken in handling routine applications for changes of facilities along a pipeline , for example , has been too long .
he is the minister who is responsible for science and technology , and he does not know .
federal government carpenters get $ 6.42 in Toronto and $ 5.23 in Halifax and Moncton .
for the record I would like to refer to a press release which followed the federal - provincial conference of attorneys general in October , 1975 .
Mr. Speaker , I rise on a point of order .
i think the railroad term is « demand loading » .
i will come to the cost of boats these days .
in most provinces , general noise regulations have been implemented , the main principle of which is as follows :
agreed .
after all , energy is used by people throughout the nation , and the government might well consider an approach using the incentive to which I have referred .
6 .
i will be glad , when we have time , to sit down with hon. members and work this matter out on a productive and prospective basis .
will the minister take action to clear up any difficulties because of the absolute need for placing the orders now , and not some months from now ?
it will spur the construction of new fishing boats and cause new processing facilities to be built .
there are many things I could say about Bill C - 19 .
i am going to say something a bit later on about that because I think it is essential to the kind of debate we are having this afternoon .
companies find that the rules are complicated , cumbersome and changing all the time .
Mr. Speaker , my question is for the minister in charge of the Canadian Wheat Board .
i understand that a rate of at least 70 per cent per annum is being contemplated .
it is our hope to make a decision this week .
we accept your view .
they fought an election on that position .
12 .
Mr. Speaker , I say to that : what a cruel hoax , because a hoax it is .
Mr. Speaker , we will try to stick to that suggestion .
1 . ( a ) $ 98,355 . ( b ) They are distributed through major post offices across the country .
crime is a national problem according to our constitution , while law enforcement is a provincial and local responsibility .
i submit that what I say is pertinent to the bill , to moneys being spent on medicare and the manner in which they are spent .
a few words about this disease might help to put things into perspective .
fortunately they are fewer this year , more reasonable and responsible , more conciliatory .
this bill has been before the House for more than a year .
retired December 30 , 1975 following completion of 34 years of public service .
passage of the hon. member 's motion would mean that the content requirements are spelled out in the statute and we could debate them .
this does not necessarily indicate non - compliance on the part of the parties .
i was not asking for a detailed explanation as to what he was doing .
how can so much be asked , on the one hand , and so little answered on the other ?
as a result , perhaps he will bring in different legislation which will not lay him open to the charge of censorship .
either they do their job properly , or you must get the power so that you can be sure that they do it properly .
in our national capital we have all the strains and all the divergencies of our country .
hon. John N . Turner ( Minister of Finance ) moved :
as much as I hate to admit it , there has been good legislation brought in by Liberal governments in this country --
as the member for the neighbouring riding I am well aware of his persistence and hard work .
where is the AIB ?
at the moment , that fact , unfortunately , is seen in two - thirds of the country not as an opportunity , but as a barrier to opportunity .
do not force a moratorium down our throats .
this not the first time that members of parliament are going to hear that .
the same recommendation was made in the report of the Standing Committee on Privileges and Elections on April 29 of last year .
Mr. Speaker , I am afraid the hon. member is ill informed .
in the MOT accident report it is stated :
Mr. Speaker , the federal offer was for a $ 100 million program .
in most samples of this size -- that is , a group of over 500 -- this would be called negligible .
the traditional procedure for seeking new borrowing powers is to attach a clause to supply bills brought before the House .
this strikes at the roots of democracy , and it is the right of the people to know .
this would relieve the pressure on oil .
the Special Investigation Division has not been in existence since early 1975 .
moreover , this is not a matter of saying whether we are for or against some sort of assistance for adoptive parents .
let us see the documents .
canada has continued to give its support to the NATO alliance as an absolutely indispensable deterrent and an absolutely indispensable assurance of our security .
can you believe such a ban in 1978 ?
no , Mr. Chairman .
naturally , the government attempts to get the best possible deal for the Canadian public in any series of negotiations .
i would add , Mr. Speaker , that it must be continued .
if I want any statistics as to where this country stands , certainly I will not refer to the speech made by the Prime Minister .
we looked at all the implications of that .
perhaps it would be a good idea for me to quote a Timmins newspaper because maybe it relates to the hon. member .
Mr. Speaker , indeed I have the final report from the Prairie Rail Action Committee .
( ii ) ( a ) Three vehicles will be used by six Canadian experts related to the provision of technical assistance .
1979 .
and we will implement every recommendation in the Auditor General 's report , something which we have been calling for over the last ten years .
first , Mr. Speaker , I should like to make a few general remarks .
Mr. Chairman , I will see if there is such a figure available , but I would quarrel with the words of the hon. member .
i know he would not want to divert me from responding to a very serious question by his colleague .
continually we get the message from across the way that this program will cost the government something .
that is the crowd which did not like the 18 cents .
what is at issue here is the principle that the public of Canada has a right to know about the constitution of Canada .
they want to pick and choose what they will support .
do you have it in writing ?
i realize , Mr. Chairman , that there is no magic solution .
in 1978 Americans divorced 1,122,000 times .
the very result of unemployment breaks up families , and contributes to excessive alcohol and drug use .
the official opposition was trying to destroy Petro - Canada in the short six months it was in office .
instead of causing an internal schism ,
and now they are applauding themselves for voting against security of supply .
as to making contributions , I am reminded of a story .
madam Speaker , I would like to hear from the hon. member before I move my motion .
the previous speaker also mentioned they would like to have the provinces involved in preparations for any meetings .
my friend from Toronto says 53 more years .
all of those estimates indicate that Canada will be in much more trouble as a result of the National Energy Program than we were in before .
Mr. Prime Minister :
indeed , there will be more divisiveness than positive effects .
world - wide inflation is causing a severe form of economic dislocation .
the PT7 represents the beginning of a new family of engines in a power range above that of the highly successful PT6 engine .
Mr. Speaker , I welcome the opportunity to join in this adjournment debate --
the competition policy is as vital to an industrial strategy as the over - all plan or the specific set of plans which should be developed .
we are now talking about $ 45 billion to construct the pipeline .
these flaws are all reflected in this bill .
at this stage of the debate of the resolution , there are three specific amendments which my party proposes to introduce .
the government cannot claim that there is any change in the balance of ways and means .
a substantial provision of federal assistance for regional development comes under this program , RIDA , and subsidiary units .
what did the government do ?
he said that if we use unemployment as the solution to inflation , we will get recovery .
conservation is beginning to have its effect .
there could be a steel mill in British Columbia , for example .
order , please .
that is why professionals should not be charged for their work in progress .
i believe , Mr. Speaker , that what is happening today is a good thing but it is just the beginning .
however , the people of Canada are responsible for making those payments .
we are now faced with legislation that is designed to withdraw from programs that were introduced at a time when we could afford them .
that is why we had to import 25,000 skilled workers into this country at a time when unemployment was rising .
as Carter said back in the 1960s , « A buck is a buck is a buck » and should be taxed as such .
order , please .
all of this means a total cut over the next two years of $ 2,958 , or 15 per cent of the original $ 20,000 salary .
we heard in the news this morning that the Heath - Steele mine in northern New Brunswick is being closed down .
they are ready to follow our leadership .
we have a number of those kinds of programs and discussions going on at the present moment .
out of that momentum of ideas and activity , we have to ask ourselves , why has the development problem not been solved ?
i would like to end on a positive note , Mr. Speaker .
i want to make it plain , Mr. Speaker , that the federal government does not set retail prices .
the House met at 2 p.m.
i remind hon. members that the minister in respect of transmission lines referred to the same power that now exist .
that is truly a laudable goal with which we all agree .
madam Speaker , I have a supplementary question for the Minister of Transport .
let me come now to Petro - Canada .
this will result in tremendous savings .
unfortunately , no one seems to know what the effect will be .
we have allowed a subgovernment across the country to remove power from the House of Commons .
that is quite substantial .
what exactly is going on over there ?
madam Speaker , I will be very brief .
that Government simply tells the people what is good for them .
it is the seasonally adjusted figures which show the .5 per cent drop which are the important figures .
the Chair is really embarrassed by what is taking place .
Mr. Speaker , I am sorry , I have not seen the statement by a British firm .
fewer volunteers are available because so many women have returned to the work force .
they work with them .
it depends on the extent to which they apply themselves .
i do not know if there is a Member in this House who would oppose allocating more money for the elderly .
they also have a role to play in the food chain .
this has given a more democratic element to the things we were faced with in our constituency .
the problem is to obscure the memories of everyone who heard the Minister 's stupid statements of a week ago .
will the Ministry fill in the ravine at the end of runway 24L at the Pearson International Airport at Toronto ?
if we ever introduce such legislation , I will remind him of his offer .
my response is , so what ?
this , Sir , is what I recommend to the House .
whether that will do any good , I do not know .
that is the principle which must guide the Alliance in the future as we seek fair and verifiable agreements with the Soviet Union .
i guess the same kind of answer would have to apply to the matter of automobiles .
they are bringing before the House a Bill that will restrict those liberties .
for debate , the Hon. Member for Bow River ( Mr. Taylor ) .
Mr. Speaker , I rise on a point of order .
the Government refuses to believe it .
those were very challenging commitments , a sort of preview of what the very important agricultural sector might become .
there are two revolving - door syndrome and gating .
i hope he will be back with that mobilized public opinion .
i think the argument being made by the Government is faulty .
however , we do have enough money to bail out two banks .
order .
it can be stolen just as other types of property can be stolen .
and , second , Mr. Speaker , what we have been doing since last November is building up a climate of confidence .
members should know that credit unions are a very big factor in financial institutions in western Canada .
the Member for Cochrane - Superior ( Mr. Penner ) said earlier tonight that the onus is on the Government to free up its Members .
that is my point .
what of women who live far from centres where these services are available ?
they ask the Members of this House to put an end to all cuts in personnel at these shops .
it is not a question of joining ; we are well ahead .
in an article written by Dr. Kenneth Hare , recognized in this country as being one of our foremost atmospheric scientists , the following appears :
the impact is pervasive .
in other words , a subsidy of about $ 2 per bushel will come from the Reagan administration to the grain farmers of the United States .
the full report will be coming in before the fall .
if these rules were put in place , would we indeed be treating everyone in the same way ?
in them this former distinguished Speaker of the House talked about sexual harassment where some women had to disrobe to qualify for their jobs .
i am simply alerting Members to a problem that I see , given what has been happening .
the Conservatives while in Opposition , of course , said quite the contrary to what they are doing now .
in point of fact , both the Minister of Justice and the Solicitor General have responded fully , as best human beings can .
does the Deputy Prime Minister believe that this is the way for a responsible Government , or an independent nation , to make an international treaty ?
the parliamentary subcommittee is considering the whole question of equality rights .
the fact is that no applications involving fewer than four student employees is being subjected to any test of whether or not the jobs are career oriented .
we also want a series of objective criteria based on factors such as those I am referring to .
if we proceed on that basis in this or in any other direction in public life , we will always be able to find excuses .
then you brought in your program , the hotel went down the tube and Fort St. John became a ghost town .
well , in six months , we did consult , we sat down with the Minister and hammered out an agreement .
the Right Hon. Member might disagree with her perspective as well .
" let us try it , " they say , " and see if it works .
approximately $ 3 million of this amount is allocated from DREE funds , with the remainder being committed by the Department of Indian Affairs and Northern Development .
it cannot be stressed too often that Canadians are disturbed by the increase in violent crime .
grain exports are projected to fall by 25 per cent in the 1984 - 85 crop year .
we are so far behind in this field it makes the whole country feel embarassed .
they do not really change the status .
there is no longer any distinction to be made on a rational basis between an intermediate range and an intercontinental range nuclear missile .
could I ask the Member for Western Arctic for a brief answer , if possible .
greater Victoria is a tourist mecca .
that tax will not be collected and then refunded .
there has been a commitment in the past that their participation rate would go at least to historic levels if not traditional levels .
that is to say , at the request of the person who may be going to declare his refugee claim .
that is the actual situation .
equalization payments have become quite considerable through the years .
it has been a matter of concern to representatives of all parties .
i would also like to advise the House that there was a degree of consultation with respect to the PC caucus members from Manitoba .
the part played by military personnel and their families in the life of the town will be long remembered in a most favourable light .
with great respect , I must interrupt .
i explained it then .
if the Prime Minister said that he was willing to resume negociations with Quebec , why are they in such a hurry to pass this Bill ?
in fact , that is why a number of my colleagues have spoken out quite vigorously on the subject .
i should like to put on the record just exactly what is in the notes on the financial statement of March 31 , 1984 .
that judgment is sent to the individual in question .
that does not make sense .
Mr. Speaker , many authorities were involved in acting on this emergency .
however , what happened to the studies that were conducted after that incident occurred ?
there was a clear understanding by the former Minister of Transport that these regulations would not be promulgated for a year .
i feel that is an attitude in Cabinet which we do not have the luxury of allowing to continue .
in other words , Mr. Speaker , the Government must implement the recommendations of the Commissioner of Official Languages .
they will then reduce the number of jobs because what they buy will be a duplication of other operations they have .
it is at the second stage of review that the Supreme Court has ruled that a hearing is compulsory .
as for lawyers specialized in immigration matters , the Bar takes upon itself to penalize them .
the alternative in terms of foreign investment is loan capital .
does he want to wait until the economy of those rural areas is completely down before responding to the acid rain problem ?
i think that should not be too difficult to understand .
however , we must not forget that the majority of beef and pork producers have rejected outright any mechanisms for marketing stabilization .
if I had been in Bryce 's position , I would have been right in there with my nose to the public trough with the rest of them .
in other words , we consider that the political role and the administrative role should be kept separate .
as a result , the Government had to take steps to see that the company was taken over .
all of these heritage places are managed by Parks Canada for the benefit and enjoyment of all Canadians .
as I indicated earlier in this ruling , such discrimination was not envisaged in the Bill when it was given second reading .
there is a role for both the public and the private sector .
there will be more criticism , perhaps , because this Government , as I understand it , is committed to making things more open to the public .
that is not good enough .
he was the one who told us that the construction of a maintenance centre for VIA Rail in Montreal would be indefinitely postponed .
but then Mr. Baldwin said :
we want full public disclosure of company commitments involved in take - overs of Canadian business .
there is also a need to co - ordinate with provincial Governments as to what certain areas require .
they are of the opinion that by just changing the name from FIRA to Investment Canada we are going to have an automatic inflow of dollars .
can the Minister tell this House what position the Canadian Government will take in this regard ?
it is nine months since the election of this Government and we have yet to see a Budget .
we currently allow the Canadian amateur athletic associations to be registered , and it is my belief that we should allow the provincial groups as well to be registered .
a Canadian amateur athletic association by definition includes federal associations but does not include their provincial counterparts .
to this battle Canada gave 1,800 gallant sailors and 24 proud ships .
i find it incredible that the President of the Treasury Board would be laughing about a matter as serious as this .
they have also asked for additional funding .
well , everyone would agree with that .
it is no wonder that there was no permanent chief executive officer for over 12 months .
the Minister spoke of meetings and I applaud that .
we had to put that in St. John 's .
that is an accurate description of what is happening .
they cannot be treated in isolation .
he obviously does not like the co - op people in eastern Canada .
the federal Government has a responsibility to be a policing agent .
it wants to increase the percentage of its part - time workers to 45 per cent of its total work force .
in the last Manitoba provincial election , 900 mail - in votes were received and were mostly from urban voters .
what does basic common sense say ?
standards are actually stricter in abattoirs built according to Quebec regulations .
technicians make more than the writers and playwrights whose works are being performed .
they were all leftists .
it is well done .
yes , we are a small nation and we are vulnerable because of our size .
Mr. Wyman has many years of experience in the financial market sector .
let 's think about that for just a moment .
i do not think we should beat around the bush any longer about how to set things right .
it says that resource impact funding helps Indian people to get a piece of the action .
one of the major objectives of these consultations is to make sure that the recovery benefits all .
Mr. Speaker , I think that in his speech , the Hon. Member from Baie - Comeau misrepresented reality .
it is a matter of elementary justice that women 's jobs be fairly evaluated .
we intend to continue this discussion with the benefit of the views of a wide range of interested parties .
i think particularly of single parents .
the Minister of Regional Economic Expansion treats all matters related to Quebec with a great deal of fairness and honesty .
as a matter of fact that net farm income reached its lowest level since 1970 and the third lowest level since 1938 , some 45 years ago .
in the Laval - Deux - Montagnes area , $ 225,000 was spent in 1984 but only $ 30,000 will be spent this year Mr. Speaker .
this particular Minister made personal election promises that he would not only consult with fishermen but that he would be readily available when problems arise .
that investment is being neglected , primarily in British Columbia .
the outstanding issue has been the failure to make a funding commitment for the ERDA agreement .
he should come clean on this issue this afternoon instead of giving us all this gobbledy - gook .
he said that British Telecom « has not demonstrated its marketing savvy or product management ability » .
foreign investment was running Canada as though it were the fifty - first State .
it does not conduct research and development .
the first question is : why does agriculture require stabilization ?
as a general rule , all the producers of any given commodity are affected simultaneously by a cost - price squeeze .
we have a diversified riding .
so the real problem is that farmers are leaving farming .
let us go to the question of what the public seems to be saying on this issue of Senate reform .
as this is what is required , it is the target the Government has in mind .
that , I believe , we all find unacceptable , regardless of political Party .
let me return to the Bill which is before us .
it is a mistake to do what the Tories are proposing to do to differentiate their Bill .
we know how painful that can be for people who are going through a period of their life which is not particularly joyful .
the establishment of such a system should therefore be a priority in each province where it does not already exist .
we have been colleagues for a long time .
it will help Canadian companies to accelerate their return to a healthy financial position by attracting new equity investment .
the universal family allowance is maintained .
research is a low priority .
oh ?
there are increased costs for shampoo and drinks for kids , pet food , gas , and even heating the home .
this technique is not unusual on the basis of precedents .
similarly , under the last Liberal Budget , personal income increased in 1984 by 7 per cent .
but the Government treats itself to lavish spending and engages in bailing out corporations .
there will be improved survivor benefit regulations for women , standards for pension benefit splitting on marriage breakdown , and equality standards .
in fact , if one adds in some other things resulting from the Western Accord , I think it is more likely to be 2.8 cents per litre .
we follow through with our election pledges .
we must revive our economy , create jobs , rationalize government spending , administer with increased efficiency .
it does not make a lot of sense , particularly when you look at who is paying .
what will they do with that capital ?
that is roughly equal to the $ 440 million paid to Canadair in two years .
from these hearings , it became obvious that the major concern was capital gains .
it indicates to individual Canadians that for too long Government has made their decisions for them .
that brings to mind the hundreds of young Canadians I met recently , most of them quite disillusioned .
this is why I cannot find myself supportive of the request for additional funding for the Government by way of borrowing .
the Hon. Member says : « neglected Quebec » , and I agree .
i was glad to hear that Crown corporations with a commercial value but no ongoing public policy purpose will be sold .
we have taken these considerations very much into account when we designed the Budget .
will the Prime Minister live up to that commitment ?
can the Minister clarify the effect of the reduction ?
thus far , I have been describing the physical aspects of my constituency .
we believe they will accept the challenge .
can he tell them that is fair ?
it has been years and years since our business community got such a vote of confidence from Government .
the Progressive Conservative Party of Canada is providing the opposition .
they stood to a person and applauded loudly .
eight .
no , Mr. Speaker , not quite .
i would like now to go into the theory behind the removal of capital gains tax .
it will increase poverty in the most vulnerable people , senior citizens , who will not be able to go out and find other sources of income .
CFB Moose Jaw is also the home of the Snowbirds , Canada 's aerobatic air team .
our caucus heard the other day from the Atlantic provinces economic council .
come on , give us a break !
that is one major problem .
i wish to direct the majority of my comments today to the many improvements offered in the pension programs available to all Canadians .
furthermore , the erosion of the cost base of assets by inflation was also regarded as something that should be compensated for .
the Budget is realistic because it takes a balanced and sensible approach .
that is not the interest or concern of this Government .
they voted for a change in the national affairs of our nation .
on a point of order , Mr. Speaker .
the facts are clear .
the motion of the Hon. Member for Beaches therefore gives us an opportunity to do in this House what everyone else is now doing throughout the country .
they also have a technical library , and the company spends nearly $ 2 million annually on these research services .
second , we want to assist Canadian businesses to exploit opportunities for investment and technological advancement .
not only are the risks greater but the time required to prepare for marine re - supply is lengthy .
Mr. Speaker , once again the Liberal and NDP forecasters of economic doom and gloom have been proven wrong .
i am not going to bother boring the House with those answers again .
however , when we came into office we discovered that the trend line was going up .
only the document cited need to be tabled by a Minister .
furthermore , there is the provision in our resolution of having had to serve for a period in excess of 365 days in Canada as the basis of eligibility .
the Government said that it had not had time to talk to either group about that proposal .
in other words , the writing is on the wall .
they were saying that homeowners would lose again because interest rates were rising .
our international role has somehow collapsed .
for instance , if we look at crop insurance , the federal Government has put up half the premiums and the producers have put up the other half .
so we cannot think in those terms .
the Minister has said that the only problem with Candu and the whole nuclear power option is a marketing one .
why was it that I was receiving those kind of representations ?
» that is what the present Prime Minister told the former Prime Minister .
most of them are unable to work .
a few days ago my colleague from Essex - Windsor gave the House a history lesson .
the article reads :
he said that he was burning oil .
the Government has yet to come to the point of determining how and when this change should take place .
i referred earlier to the bet taken up by the Prime Minister ( Mr. Mulroney ) concerning employment as related to immigration .
however , we see in the legislation before us today only two substantive amendments and a number of housekeeping amendments to the Bill .
we as a society cannot afford to discriminate among individuals on that sort of basis .
this type of federal - provincial co - operation is required to increase the sensitivity and efficiency of our current disease surveillance systems .
he suggested that June at least would be a better time .
in 1934 , the company was renamed the Northern Transportation Company Limited , still under private ownership .
i do commend the Minister of Transport for following through on the original terms of reference .
then and only then does the private sector rush in saying that it cannot have all these publicly - owned corporations interfering in the private sector .
specialty services such as stand - by supply vessels for the Beaufort Sea oil and gas industry can be provided by others .
unfortunately or fortunately , however one views the issue , that particular Minister has not met with very much success .
however , perhaps the Chair could dispose of Motion No. 1 .
on the west coast we have the Minister 's Advisory Committee which , while not perfect , is at least of assistance .
this is a fine example of a partnership in progress between government and industry .
Mr. Speaker , my question is directed to the Minister of Transport .
Mr. Speaker , let me be clear .
within the Government of Canada , a number of Departments have been actively involved and have been proceeding in a co - operative and coordinated fashion .
however , the contradiction between what he said and what has been said by his officials requires further independent investigation .
i know that we are trying to do it , at the federal level through the Farm Credit Corporation .
these are key economic indicators .
production is being expanded with the development of a sixth farm at Bowden Institution in Alberta .
that was the principle of the Bill as passed on second reading .
surely no one , and particularly no member of the Conservative Party , would believe that .
the people of Canada did that on September 4 .
call in the Members .
we think that now is the time for the regulations and procedures to be properly established .
the point was well taken because the success of these agreements will depend to a considerable degree upon the quality of their administration .
canada can be proud of its record on human rights and should serve as an example of tolerance to other countries .
whose advice did he follow in making his decision , in that his officials rejected it ?
Mr. Speaker , I am pleased that the Prime Minister has provided the information in the House .
may I therefore ask the Hon. Member to refrain from any further displays .
why did the Prime Minister appear prepared to disregard his promise in the first place ?
Mr. Speaker , I am always amused by these probing questions from the Liberal Party , the Party which says that it would control the deficit .
surely the Hon. Member is not suggesting that we levy taxes on companies that have been losing money .
Mr. Speaker , the premise of the question put by the Hon. Member is wrong .
how many people are employed ( a ) directly or by contract ( b ) full time and part time , in the Office of the Prime Minister ?
the fees paid to each performer were in keeping with the role played in the gala and with the standards of the Union des Artistes .
during the Liberal administration nothing was done about it .
they know about the overproduction problem .
each of them is very complex , but the link between the two is even more complex which makes the whole situation for most people understandably confusing .
the commissionners went on :
they are constrained by limits which are imposed in order to ensure that the freedom of one person does not violate that of another .
it made the buying and selling of sex on our streets legal for all intents and purposes .
the way in which Bill C - 49 has been presented today gives us the feeling that only the prostitutes are punished and stigmatized .
I never met a street hooker who wanted to be there .
the establishment of the standing committee by unanimous consent of the House on June 28 , 1985 has already been noted .
I have stressed the CDC as an example of creative , aggressive effective public ownership .
so far , around $ 250,000 have been issued by the institute in grants for research or public education activity .
let me conclude .
I think we should take a hard look at this justification to determine whether or not it is cost effective and in the public interest .
however , that raises some very pertinent questions given the cut - backs announced in the Budget last spring .
we see the licence fee going up from $ 25 to $ 500 .
it would have been easy to say that these sanctions have to be followed rather than making them voluntary .
we have to introduce meaningful programs for rehabilitation within our prison system .
we should count our blessings that we do have a very safe country .
they , of course , mobilized considerable support across the country .
what does it mean for a family earning $ 35,000 where the husband and wife both work ?
I want to make it clear that we have to let this issue come to a vote today .
the Prime Minister and the Cabinet do not want to spend that money in British Columbia .
they need toys and entertainment .
obviously it does not do one bit of good for the poor people in our society .
I think that is putting it in a very whole context as to what the principles are and what our responsibilities ought to be .
however , there is no action forthcoming .
we will have given up so much ground that we will be weaker than we need to be .
under this Bill it would be unlawful for a passenger in a taxi to ask a driver how to contact a prostitute .
if they could not pay their fine and no one would raise bail for them they simply stayed in .
as you are well aware , Mr. Speaker , when Governments act under political pressure , they make bad laws at times .
this Bill pretends , and I say pretends , to do something about employment equity .
however , there was essentially no enforcement mechanism or method of ensuring that native people and women really became involved in the process .
they want to see results .
treasury Board has been responsible for affirmative action in the Government of Canada for some years now and women have little to show for it .
women workers are still confined to most of the job ghettos .
it is very important that we look at employment equity within the federal job - creation programs .
again yesterday , Mr. Speaker , we saw the Prime Minister ( Mr. Mulroney ) break his word .
what will be the cost of this particular ruling in terms of lost tax revenue as it is applied to other corporations ?
as soon as the growers begin to earn inadequate incomes , those who supply the growers and offer support services in the community begin to suffer .
EDITED HANSARD * NUMBER 1
Monday , September 22 , 1997
first SESSION - 36TH PARLIAMENT
opening of Parliament
the Clerk of the House
election OF SPEAKER
the Presiding Officer ( Mr. Caccia )
suspension of Sitting
the Presiding Officer ( Mr. Caccia )
sitting Resumed
the Presiding Officer ( Mr. Caccia )
suspension of sitting
sitting resumed
suspension of Sitting
sitting Resumed
the Presiding Officer ( Mr. Caccia )
suspension of Sitting
sitting Resumed
the Presiding Officer ( Mr. Caccia )
Mr. John Nunziata
opening OF SESSION
( Official Version )
EDITED HANSARD * NUMBER 1
house OF COMMONS
Monday , September 22 , 1997
first SESSION - 36TH PARLIAMENT
the 35th Parliament having been dissolved by proclamation on Sunday , April 27 , 1997 , and writs having been issued and returned , a new Parliament was summoned to meet for the dispatch of business on Monday , September 22 , 1997 , and did accordingly meet on that day .
Monday , September 22 , 1997
this being the day on which Parliament was convoked by proclamation of His Excellency the Governor General of Canada for the dispatch of business , and the members of the House being assembled :
Robert Marleau , Esquire , Clerk of the House of Commons , read to the House a letter from the Administrative Secretary to the Governor General informing him that the Right Honourable Antonio Lamer , in his capacity as Deputy Governor General , would proceed to the Senate chamber to open the first session of the 36th Parliament of Canada on Monday , September 22 at Ottawa .
a message was delivered by the Gentleman Usher of the Black Rod as follows :
members of the House of Commons :
it is the desire of the Honourable the Deputy to His Excellency the Governor General of Canada that this honourable House attend him immediately in the chamber of the honourable the Senate .
honourable Members of the Senate , Members of the House of Commons :
i have it in command to let you know that His Excellency the Governor General of Canada does not see fit to declare the causes of his summoning the present Parliament of Canada until a Speaker of the House of Commons shall have been chosen , according to law ; but tomorrow , Tuesday , September 23 , 1997 at 2.30 in the afternoon , His Excellency will declare the causes of his calling Parliament .
and the House being returned to the Commons chamber .
the Clerk of the House :
pursuant to Standing Order 3 , I invite Mr. Caccia , member for the electoral district of Davenport , to take the chair and preside over the election of a Speaker .
election OF SPEAKER
the Presiding Officer ( Mr. Caccia ) :
it is indeed a great honour to be entrusted with this task .
on this first day of autumn I would like to extend a most cordial welcome to all , in particular to the 90 newly elected parliamentarians who are now sitting in the House , which has been extended to 301 seats .
six seats have been added to reflect the increasing number of Canadian electors .
the task we have ahead of us today is very simple and straightforward , to elect a Speaker according to the terms of Standing Orders 2 through 6 in chapter 1 .
i draw the attention of hon. members to the fact that pursuant to the standing orders , we will begin with the list of candidates , but first with the list of members who have withdrawn or who are ineligible as candidates .
the list of eligible members has also been placed on each member 's desk .
it is available at the table and posted at each voting station .
after the Clerk has unsealed the ballots , the Chair will suggest a method of proceeding which will help to accelerate the voting process .
as we are now going to commence voting , I would remind the honourable members to print the first and last names of their candidate on the ballot paper .
i suggest that members leave their desk , exit through the curtains and come to the table using the doors on the left and right sides of the chair on their respective sides of the House .
the Clerk will issue to each member a ballot paper .
will the hon. members please leave the voting area after voting .
the polling booths are now open to vote .
the polling booths are now open .
( Members were issued ballots and marked their ballots in secret at voting stations )
the Presiding Officer ( Mr. Caccia ) :
if there are any hon. members who have not voted and wish to do so , will they please vote now .
all members having voted , I do now instruct the Clerk to proceed with the counting of the ballots after I have cast my ballot .
suspension OF SITTING
the Presiding Officer ( Mr. Caccia ) :
before I suspend the sitting may I bring to the attention of hon. members that when the counting of ballots has been completed the bells to call the members back to the House will be sounded for not more than five minutes .
the sitting is suspended to the ringing of the bells .
( The sitting of the House was suspended at 12.10 p.m. )
sitting RESUMED
the House resumed at 12.44 p.m.
the Presiding Officer ( Mr. Caccia ) :
it is my duty to inform the House that a second ballot will be necessary .
the following members are eligible for the second ballot :
if any member whose name I have just read wishes to withdraw as a candidate for the second ballot , will that member please rise in his place and state the reason ?
the names just announced are on the second ballot .
in a few minutes the Clerk will be able to provide that list .
at that moment the voting will commence .
while the Clerk is unsealing the ballots , the Chair would like to indicate that the second ballot will be of a different colour and that the list of names of candidates on this ballot has been placed in each polling station .
i would also like to point out that the polling booths are now open .
the polling booths are now open .
( Members were issued ballots and marked their ballots in secret at voting stations )
the Presiding Officer ( Mr. Caccia ) :
order , please .
if there are no more members in the chamber wishing to vote or cast a ballot , I instruct the Clerk to proceed with the counting of the ballots .
suspension OF SITTING
the Presiding Officer ( Mr. Caccia ) :
order , please .
before I suspend the sitting may I bring it to the attention of hon. members that , when the counting of ballots has been completed , the bells to call the members back to the House will be sounded for not more than five minutes .
( The sitting of the House was suspended at 1.13 p.m. )
sitting RESUMED
the Presiding Officer ( Mr. Caccia ) :
order , please .
it is my duty to inform the House that a third vote will be necessary .
the names of members eligible for the third ballot are as follows :
if any member whose name I have just read wishes to withdraw as a candidate for the third ballot , would he please rise in his place and do so ?
order , please .
while the Clerk is unsealing the ballots , may I remind members that the ballots for the third vote will be a different colour and that the list of names of candidates on this ballot has been placed in each polling station .
the polling booths are now open .
the Hon. members may now come and vote .
( Members were issued ballots and marked their ballots in secret at voting stations )
the Presiding Officer ( Mr. Caccia ) :
after the Chair casts a vote the Clerk will proceed with the counting of the ballots .
suspension OF SITTING
the Presiding Officer ( Mr. Caccia ) :
before suspending the sitting I bring to the attention of the honourable members that when the counting has been completed , the bells to call the members back to the house will be sounded for not more than five minutes .
the sitting is suspended to the call of the Chair .
( The sitting of the House was suspended at 2.06 p.m. )
sitting RESUMED
the House resumed at 2.29 p.m.
the Presiding Officer ( Mr. Caccia ) :
order .
it is the duty of the Chair to inform this House that a fourth ballot will be necessary .
the names of members eligible for the next ballot are as follows :
for the benefit of hon. members , a revised alphabetical list of candidates for the next ballot will be placed in each polling station within the next few minutes at which time the voting will commence .
this ballot will be of a different colour .
the list of candidates on this ballot has been placed in each polling station .
the Clerk is unsealing the ballots and the polling booths are now open .
the polling booths are now open .
( Members were issued ballots and marked their ballots in secret at voting stations . )
the Presiding Officer : ( Mr. Caccia ) :
if there are any hon. members who have not voted and wish to do so , will they please vote now ?
i now instruct the Clerk to proceed with the counting of the ballots after I have cast my ballot .
suspension OF SITTING
the Presiding Officer ( Mr. Caccia ) :
before suspending the sitting , may I bring to the attention of members that when the counting of the ballots has been completed , the bells to call the members back to the House will be sounded for not more than five minutes .
( The sitting of the House was suspended at 2.58 p.m. )
sitting RESUMED
the House resumed at 3.18 p.m.
( The Clerk of the House having provided the Presiding Officer with the name of the member having received a majority of the votes cast : )
the Presiding Officer ( Mr. Caccia ) :
it is my duty to inform the House that the Speaker of this House has been duly elected .
it is now my great pleasure to invite the hon. member for Niagara Centre , Gilbert Parent , to take the chair now .
some hon. members :
hear , hear .
the Presiding Officer , having vacated the chair , and the mace having been laid under the table , conducted Mr. Parent from his seat in the House to the chair .
the Speaker :
i did not want to begin this without saying the words that all Speakers have used for hundreds of years now .
hon. members , I beg to return my humble acknowledgements to the House for the great honour you have been pleased to confer upon me by choosing me to be your Speaker .
i want to thank you , my colleagues , for your vote of confidence today .
it is very much appreciated and I take it to heart .
there are some who say this House will be lively in the 36th Parliament .
i have never been in a Parliament that has not been lively .
why should it not be ?
you have come here because you have been chosen to be the spokespersons for Canadians across the land .
you are going to hold strong opinions , and as well you should .
and it is here , on the floor of the House of Commons , that we will have a chance to express our views .
the last time I had the honour to be elected your Speaker I said that we are the political gladiators of Canada , and we are .
our weapons are our words , our ideas , our beliefs .
that is why things are lively .
however , we can do our job in a spirit of respect for one another and for this institution .
my task is to see to it that the rights and privileges of all of you parliamentarians of Canada are protected .
generally speaking we have , you and I , three basic rights and privileges .
we have the right to come to this place .
we have the right to speak unafraid and we have the right to vote .
i pledge to you that I will carry out my duties in a spirit of fairness and impartiality .
i am , as you know , a servant of this House .
it is the House collectively that makes decisions as to whether it wants to change and how it will change .
parliamentarians of Canada , for the next few years because of circumstance , because of history and yes , because of destiny , the fate of our nation will rest in our hands .
my dear colleagues , thank you again for the honour that you have bestowed on me today .
and now , on to the work of this Parliament .
i thank you very much .
some hon. members :
hear , hear .
and the mace having been laid upon the table :
Mr. John Nunziata ( York South - Weston , Ind . ) :
Mr. Speaker , I want to take this opportunity to extend to you my most sincere congratulations on your election .
as you know , over the years I have had considerable respect for you .
i have considered you a friend .
from the bottom of my heart , congratulations to you .
i would also ask that you seek the consent of the House to make your election unanimous .
the Speaker :
the House has heard the terms of the motion .
do members agree with the terms of the motion ?
some hon. members :
agreed .
* * *
opening OF SESSION
the Speaker read to the House a letter from the Secretary to the Governor General informing him that His Excellency the Governor General would proceed to the Senate chamber on Tuesday , September 23 , 1997 , at 2.30 p.m. to open officially the first session of the 36th Parliament .
the Speaker :
accordingly , the House stands adjourned until tomorrow .
( The House adjourned at 3.29 p.m. )
EDITED HANSARD * NUMBER 2
contents
Tuesday , September 23 , 1997
speech FROM THE THRONE
the Speaker
oaths OF OFFICE
bill C - 1 .
introduction and first reading
right Hon. Jean Chrétien
speech FROM THE THRONE
the Speaker
right Hon. Jean Chrétien
board OF INTERNAL ECONOMY
standing ORDERS
hon. Don Boudria
committees OF THE WHOLE
appointment of Chairman
right Hon. Jean Chrétien
appointment of Deputy Chairman
right Hon. Jean Chrétien
appointment of Assistant Deputy Chairman
right Hon. Jean Chrétien
motion
supply
hon. Don Boudria
hon. Marcel Massé
speech FROM THE THRONE
address in Reply
Ms. Sarmite Bulte
Mr. Claude Drouin
Mr. Preston Manning
business OF THE HOUSE
hon. Don Boudria
hon. Don Boudria
( Official Version )
EDITED HANSARD * NUMBER 2
house OF COMMONS
Tuesday , September 23 , 1997
the House met at 2.30 p.m.
prayers
speech FROM THE THRONE
a message was delivered by the Gentleman Usher of the Black Rod as follows :
Mr. Speaker , His Excellency the Governor General desires the immediate attendance of this honourable House in the Chamber of the Senate .
accordingly , Mr. Speaker with the House went up to the Senate Chamber .
and the House being returned to the Commons chamber :
the Speaker :
order , please .
i have the honour to report that , the House having attended on His Excellency the Governor General in the Senate chamber , I informed His Excellency that the choice of Speaker had fallen upon me .
on your behalf , I made the usual claim for your privileges which His Excellency was pleased to confirm to you .
i wish to inform the House that in accordance with the presentation made by the government , pursuant to Standing Order 55 ( 1 ) , I have caused to be published a special Order Paper giving notice of two government motions .
i now lay upon the table the relevant documents .
* * *
oaths OF OFFICE
right Hon. Jean Chrétien ( Prime Minister , Lib . ) moved for leave to introduce Bill C - 1 respecting the administration of oaths of office .
( Motions deemed adopted and bill read the first time )
* * *
speech FROM THE THRONE
the Speaker :
members of the House of Commons ,
ladies and Gentlemen :
as Governor General I have visited every province and territory , and I wish every Canadian could share that experience .
our cities , towns , and villages reflect the diversity of all those who have come to this country .
and yet our communities , whether on the coasts or the prairies , whether in the woodlands or on the northern tundra , show the same friendliness , openness , and generosity .
people care for each other in many ways , and they give their time and their support to their community .
when I became Governor General , I stated my intention to honour the generosity of Canadians , especially as demonstrated by volunteers .
we have now created the Caring Canadian Award to recognize the most dedicated among them .
in my functions , I visit with many units of the Canadian Forces .
they have impressed me with their dedication , as demonstrated by their peacekeeping role , their heroic work in search and rescue , and their immediate response to natural disasters such as the Saguenay region and Red River floods .
let me mention another source of great pride : the proclamation of the twenty - first of June , the longest day of the year , as National Aboriginal Day - a day to honour the First Peoples of this land .
a New Parliament -
today marks the opening of a new Parliament , the last Parliament of the 20th century and the first Parliament of the 21st century , a Parliament with a unique and historic opportunity to provide leadership on national issues to secure the future for Canadians .
on June 2 , 1997 , the people of Canada renewed the mandate of the Government .
over the course of this Parliament , the Government will fulfil the commitments it made to the people in its election platform .
the Parliament of Canada is the only institution directly elected by all Canadians with the mandate to protect and express the national interest .
elected by all Canadians and endowed with the legitimacy that this bestows , the Government of Canada will stand up for the shared values of Canadians at home and abroad .
but governing in the 21st century also means recognizing that no one government can act alone .
given the complexity of the issues that face us as citizens in a global economy , collaboration is an essential ingredient for the success of Canada .
more than ever , Canadians want their governments to work together in partnership .
as we look forward to the beginning of a new millennium with new challenges and new opportunities , we can look back at the last century of Canadian history and state with certainty that Canada is rightly regarded , the world over , as an extraordinary success .
Canada represents a triumph of the human spirit , bringing together the best of what people can do .
- For a New Century of Canadian Achievement
as old and familiar constraints of time and distance are breaking down , individuals and communities can accomplish things once unimaginable .
Canada is ready .
we are poised for success .
our citizens have the qualities that are needed to succeed in the 21st century :
we have the values of sharing and mutual help .
we are well educated .
we welcome innovation and new ideas .
we are an open and democratic society .
we are a bilingual and multicultural country at a time of increasing globalization .
we have learned to accommodate our differences and diversity and turn them into strengths .
our federation makes the most of these talents .
it gives us the cohesion we need to multiply our strengths by combining our talents , by pooling our resources and by sharing risks .
it also gives us the flexibility we need to experiment and innovate in order to succeed in a rapidly changing world .
the Government wishes to recognize the important role of a professional , non - partisan public service in a well - performing civil society .
Canada is served well by its public service , and the effort and dedication it exhibits in meeting the needs of citizens and in building partnerships among governments and other sectors of society .
the Government will continue to renew the Public Service of Canada to ensure its members have the skills and dedication to continue serving Canadians well .
we Have Already Built a Foundation for Our Success
in recent years , Canadians worked hard and sacrificed to overcome many of our nation 's challenges .
we succeeded , and have started to put in place a strong foundation for our success in the new millennium .
this 36th Parliament opens at a time when we have brought order to our public finances , and the economy is entering a period of strong growth .
while unemployment is still too high , hundreds of thousands of new jobs are being created by the private sector , inflation is at very low levels , and interest rates are lower than they have been in more than three decades .
more Canadian companies are selling more goods and services to the world than ever before .
stimulating job creation and economic growth has been , remains , and will continue to be a major objective of the Government of Canada .
the Government will build on the progress achieved and the foundations put in place over the last four years to strengthen the economy and increase confidence .
we will pursue this course and take further action to encourage new investment , to create new jobs , and to generate the national wealth necessary to assure Canadians a stable and secure future .
the Government will continue to be vigilant and responsible about keeping the financial affairs of the country in order :
it will put the debt - to - GDP ratio on a permanent downward track .
it will balance the budget no later than fiscal year 1998 - 99 .
it will introduce legislation to implement the proposed changes to the Canada Pension Plan and the new Seniors Benefit in order to ensure Canada 's public pension system remains sustainable in the 21st century .
one in three Canadian jobs depend on trade .
our prosperity and our ability to create jobs are directly linked to how well we capitalize on international opportunities .
team Canada trade missions have successfully generated new opportunities for Canadian businesses and have illustrated what we can accomplish when governments and the private sector collaborate .
the Government will build on this success with a focussed strategy , developed in consultation with industry , to improve our international economic performance by expanding Canada 's trade base , becoming the location of choice for global investment , and making Canada a preferred tourist destination .
the Government has regained the ability to address priorities of Canadians while living within its means .
it is now in the position to make strategic investments in our children and our youth , our health , our communities , and our knowledge and creativity while continuing to improve the nation 's finances .
the Government is committed to following this balanced approach of social investment and prudent financial management as it leads Canada toward renewed and lasting economic health and increased social cohesion .
we are making the federation better able to serve the differing needs of Canadians across the country .
Canadians feel better about their own future and the country 's future .
we are looking to our future together with a new optimism .
the fact that we have demonstrated our ability as a country to set ambitious goals and achieve them gives us new confidence to set higher goals for the years ahead and succeed .
our Challenge for the Future
our challenge is to ensure that no Canadian is left behind as the country moves forward .
the future belongs to societies whose economy is sound ; who invest in knowledge , education and innovation ; whose population is healthy ; whose children are well prepared to learn ; and who focus on securing a high quality of life for all citizens .
Canadians have already set these priorities for this new Parliament .
these are the Government 's priorities .
building a Stronger Canada
the federal , provincial and territorial governments owe it to all Canadians to take responsible leadership on the unity of the country .
the single most important commitment of the Government is to keep Canada united .
the Government of Canada can have no greater duty or responsibility .
the overriding goal of the Government of Canada as we approach the 21st century is both simple and ambitious .
it is to strengthen and unite this country by joining in the common purpose of keeping Canada one of the best places in the world in which to live .
realizing these aspirations fully will require the active engagement of Canadians in all walks of life , as well as our institutions , businesses , voluntary organizations and our governments .
it will require collaboration and partnership .
it will require reaching out .
in their meeting last week , nine Premiers and the two territorial leaders reiterated their desire for closer co - operation with the federal government in the areas of health care and social policy .
the Government welcomes the Premiers ' and territorial leaders ' continuing interest in working together , and is committed to even closer collaboration on these important issues .
as a next step , the First Ministers will meet this fall to work on co - operative approaches to address youth unemployment , health care and social policy renewal .
the Government will take a very broad and encompassing approach to promoting and strengthening our unity .
all its major initiatives will serve to make Canada better and thus more united .
the Government will approach its mandate committed to collaboration and partnership with all its partners in Canadian society .
Canada provides our common space and our common means for realizing our potential .
we would all be forever diminished , forever changed , should we fail to maintain the example Canada provides to the world .
our future as a country is too precious for us to risk losing it through misunderstanding .
therefore , the Government will bring frankness and clarity to any debate that puts into question the future existence or unity of Canada .
it will create a better understanding of the true complexity and difficulty for all of us in severing ties that have developed in building a nation together .
most of all , it will demonstrate how much more we can do together than apart .
the Government will work closely with provincial and territorial governments to further advance the progress made by nine Premiers and the territorial leaders last week in Calgary toward the full recognition of the diversity inherent in the federation , including the unique character of Quebec society .
we will build on the mutual respect Canadians have for one another to achieve our common aspirations for a better future .
investing in Children
a country that has decided to invest in its children is a country that is confident in its future .
a country that invests in its children successfully will have a better future .
one of our objectives as a country should be to ensure that all Canadian children have the best possible opportunity to develop their full potential .
we must equip our children with the capacities they need to be ready to learn and to participate fully in our society .
while families have the greatest responsibility in the nurturing and development of our children , they are not alone .
it requires focussing on what children need to thrive .
the experiences of Canada 's children , especially in the early years , influence their health , their well - being , and their ability to learn and adapt throughout their entire lives .
by investing now in the well - being of today 's children , we improve the long - term health of our society .
addressing the needs of low - income families with children is therefore a priority of the Government .
federal , provincial and territorial governments have agreed to address in a co - operative way the problems of low - income families with children .
together we are now building the comprehensive and effective National Child Benefit System .
the Government has already demonstrated its initial commitment to this project by increasing its contribution to the Canada Child Tax Benefit by $ 850 million a year , with higher payments to families beginning July 1 , 1998 .
the Government will work with its provincial and territorial partners to establish jointly a common timetable for increasing the federal contribution to the Canada Child Tax Benefit by at least an additional $ 850 million during the course of this mandate .
the Government will also work with the provinces and territories to establish the National Re - Investment Framework to guide the re - allocation of our partners ' savings into new services and benefits for low - income families with children .
we can make a difference in the lives of all our children .
children need a substantial investment of time and attention for healthy development ; they need strong families ; they need safe , supportive communities .
the federal , provincial and territorial governments agreed in January 1997 to work together to develop the National Children 's Agenda , a comprehensive strategy to improve the well - being of Canada 's children .
federal , provincial and territorial governments will work together to develop this broader agenda for children , including clear outcome measures by which to gauge success .
as part of this national agenda , the federal government will undertake three new initiatives :
it will establish Centres of Excellence to deepen our understanding of children 's development and well - being and to improve our ability to respond to their needs .
it will expand our Aboriginal Head Start program onto reserves to ensure that all Aboriginal children have the opportunity to get a good start in life .
it will measure and report regularly on the readiness of Canadian children to learn , so that we can assess our progress in providing our children with the best possible start .
investing in Quality Care and Good Health
nonetheless , there is an increasing anxiety among Canadians about the present state and the future of our medicare system .
citizens worry about whether they will have access to the highest possible quality of health care when they need it .
the anxiety arises from a number of sources , including the pace and extent of restructuring that has gone on in recent years .
the federal government recognizes that this restructuring has been difficult for Canadians and , therefore , it will increase health care funding to the provinces from previously budgeted levels .
it will introduce legislation to increase to $ 12.5 billion a year the guaranteed annual cash payments to provinces and territories under the Canada Health and Social Transfer .
one of our goals as a country must be to continue providing all our citizens with access to the highest possible quality of health care and the other tools they will need to enjoy healthy lives as we move into the 21st century .
Canadians have a right to expect their governments to work together in harmony to better meet the shared goals and desires of Canadians for a better health system .
the Government is firmly committed to a publicly administered , comprehensive health care system that provides universal access to high quality care for Canadians anywhere in the country .
the Government has a leadership role in preserving and enhancing medicare .
it has a constructive role to play as a partner with provinces and other interested parties .
the Government will play that role in a spirit of openness , pragmatism and innovation .
there are steps that we can and will take to lead the efforts by all governments .
preparing Canada for the 21st century means ensuring the medicare system meets the needs of the future .
it means responding to emerging issues in health care .
working with its partners , the Government will undertake the following initiatives :
it will take measures to support Canadians in responding to the expanding needs for home care and community care .
it will develop a national plan , timetable and a fiscal framework for providing Canadians with better access to medically necessary drugs .
it will improve the quality and effectiveness of health services across Canada by establishing the Health Transition Fund to help the provincial governments innovate in the areas of primary care and provide more integration in the delivery of health services , home care and pharmacare .
Canadians recognize that good health depends on much more than medical care .
our social and economic situations also help to determine the quality of our health .
as a country , we must increase our efforts to promote healthy lives .
the Government will contribute to this goal with an agenda to promote good health .
emphasis will also be placed on those factors that determine the health of a country 's population , including the equality of economic and social opportunity for all citizens .
some of the most urgent health problems today are found in Aboriginal communities .
the Government will work with other partners and Aboriginal communities to
develop new initiatives to address the rapid increase in tuberculosis and diabetes in Aboriginal communities ; and
enhance research and dissemination of health information focussed on the needs of Aboriginal people through a new Aboriginal Health Institute .
the Government will work with its provincial partners and other interested parties to improve Canadian health information systems to improve decision making about health and health care across the country .
building Safer Communities
safe communities are among the hallmarks of our Canadian identity .
while the reported crime rate has decreased for four consecutive years , it is still too high .
the Government is committed to ensuring that Canada remains a place where Canadians feel secure in their homes and on the streets of their communities .
a safe society depends on strong crime prevention efforts as well as traditional legal responses .
governments around the world are developing community - based crime prevention programs .
increase funding for community - based crime - prevention initiatives to $ 30 million per year ;
develop alternatives to incarceration for low - risk , non - violent offenders , such as sentencing reforms , community diversion programs , and alternative sanctions ; and
integrate information systems of all partners in the criminal justice system .
creating Opportunity for Young Canadians
today 's generation of young Canadians is the best educated in our history .
young Canadians are living in a country well - positioned for opportunities in the new economy .
yet , the level of unemployment among Canadians between the ages of 18 and 25 is unacceptably high .
the federal , provincial and territorial governments will act to address this problem , and First Ministers and territorial leaders will be working on this issue when they meet this fall .
to secure our future as a society , our immediate challenge is to make sure that our young generation makes a successful transition to the world of work , that young people who want to continue to learn have access to education , and that young people who found it difficult getting started in the workplace get a second chance .
all Canadians have a stake in meeting this challenge successfully .
no single sector of society nor any one level of government has all the answers .
we must all contribute , each in our areas of competency , to meet the challenge we have set for ourselves .
the Government welcomes the action being taken by the private sector , through initiatives such as Career Edge and the Corporate Council on Youth in the Economy , and encourages the private sector to do more .
the Government is committed to work with other governments , the private sector , communities and individual Canadians to help equip young people for the future .
an important role for governments is to ensure the widest possible access to post - secondary education .
Canadians are concerned about the increasing cost of higher education , and the resulting debt burden on students .
the Government took some important measures to address this problem in its budget of February 1997 .
the Government will continue to reduce barriers to post - secondary education through further changes to the Canada Student Loans Program , increased assistance for students with dependents , and new scholarships to encourage excellence and to help low - and moderate - income Canadians attend university or college .
the Government finds it unacceptable that thousands of jobs are going unfilled in high - growth sectors of our economy at the same time as young Canadians are unemployed .
the Government will work with the provinces , universities and colleges , the high - tech industry and other rapidly growing sectors to better forecast the number and types of jobs that will be available and to develop a plan for ensuring that people are appropriately educated to fill them .
three factors make a significant difference to young people getting started in the world of work - a good education , a chance at a first job , and a mentor to work with as they establish themselves .
the Government will increase its resources devoted to helping youth to make a smooth and productive entry into the world of work .
internship programs have been particularly successful in helping young people get started .
in partnership with provincial governments and the private sector , a Canada - wide mentorship program will be developed .
to help those young Canadians who need a second chance , the Government will develop and expand community - based programs for youth with the greatest difficulty making the transition to the world of work because of low education and skills .
these will include establishing multi - purpose Aboriginal youth centres that will provide targeted social and cultural support in addition to increasing work and learning opportunities for urban Aboriginal youth .
the Government will continue to support efforts of individuals , communities and other governments to improve Canadians ' capacity to learn throughout their lives .
investing in Knowledge and Creativity
the revolution in the knowledge and information economy is transforming all sectors of the economy from primary resources to service industries .
Canada is well - positioned to be a world leader in the global knowledge - based economy of the 21st century .
we have the talent , we have the resources , we have the technology , and we have the institutions .
by rising to the challenge of mobilizing our resources well , we can enable our citizens to succeed in the global knowledge - based economy .
this is how we will spur continuing job creation and sustained growth in our standard of living in the 21st century .
the Government is determined to do more to support innovation and risk - taking in Canada and to attract more foreign investment in knowledge - based industries to Canada .
we will build creative partnerships between the private and public sectors to accelerate the adoption of innovative technologies in all sectors of the economy .
in particular , the Government will significantly increase the resources allocated to help small and medium - size businesses develop and commercialize new technology .
the Government will explore innovative policies and measures that give particular attention to increasing opportunity for Canadians in rural communities .
it will adapt its programs to reflect the social and economic realities of rural Canada .
further , the Government will redouble its efforts to ensure that rural communities and all regions of Canada share in the economic benefits of the global knowledge - based economy .
governments have a crucial role to play in supporting science , technology , and the creation of knowledge .
the Government of Canada 's endowment of the Canada Foundation for Innovation in partnership with the private sector , the provinces and universities , is helping to build a leading - edge national system of innovation .
all levels of government must do more to provide public support for research done in our universities .
support for knowledge goes beyond support for university research .
increasing support for the arts makes it possible for Canadian culture to reach audiences at home and abroad .
our movies , books , magazines , plays , videos , music , and multi - media productions speak to us about our experiences at the same time as they present Canadian creativity to the world .
therefore , the Government of Canada will provide increased support to the Canada Council and will make special efforts to support culture at home and to promote trade in Canadian cultural and educational products and services abroad .
we will make the information and knowledge infrastructure accessible to all Canadians by the year 2000 , thereby making Canada the most connected nation in the world .
this will provide individuals , schools , libraries , small and large businesses , rural and Aboriginal communities , public institutions , and all levels of government with new opportunities for learning , interacting , transacting business and developing their social and economic potential .
for example , we will enhance the voluntary sector 's capacity to engage Canadians by improving their access to the technology they need to play a stronger role in Canadian life .
a connected nation is more than wires , cables and computers .
it is a nation in which citizens have access to the skills and knowledge they need to benefit from Canada 's rapidly changing knowledge and information infrastructure .
it is also a nation whose people are connected to each other .
the Government will continue to work with provinces to ensure greater mobility for people with disabilities and to ensure their integration into the economic and social mainstream of Canadian life .
the Government will also bring forward measures to strengthen networks among Canadians and to increase knowledge of Canada and understanding among Canadians ; these measures will include enhanced exchange programs for young Canadians .
expanding Opportunities in Aboriginal Communities
thousands of years ago , Aboriginal people began building Canada 's first communities .
today , by strengthening our Aboriginal communities , we are reinforcing the diversity that makes Canada unique in the world .
the Government will
develop relationships with Aboriginal people based on the principles of partnership , transparency , predictability and accountability ;
support the building of strong Aboriginal communities - communities that provide their members with better living standards and opportunities ; and
strengthen the capacity for good government in Aboriginal communities .
to contribute , the Government of Canada is committed to respond to the Report of the Royal Commission on Aboriginal Peoples as soon as possible .
looking Outward
this tradition is the legacy of Nobel laureate and former prime minister of Canada , Lester Pearson , whose 100th birthday we mark this year .
Canadians want their government to carry on this tradition and give it new relevance as the world enters a new century .
nothing better illustrates the ongoing commitment to this tradition than Canada 's leadership since 1994 in the international effort to ban anti - personnel mines .
this Canadian initiative has evolved from a bold idea to be the focus of a large and growing international consensus that will culminate in the signing of an international treaty in Ottawa in December of this year .
Canada 's rich and diverse natural heritage is also a source of national pride and international acclaim .
Canadians are both the beneficiaries and the stewards of a land that holds 9 % of the Earth 's fresh water , 10 % of its forests , and 25 % of its wetlands .
Canadians both delight in our magnificent environment and fear for its future .
maintaining what is good , and improving what has been degraded , requires constant effort .
it is an effort that the Government will make .
the Government is committed to working in the international community to promote sustainable development and to achieve practical solutions to global environmental problems , such as greenhouse gas emissions and toxic chemicals .
it will also continue to address the serious international problem of over - fishing .
it is committed to acting at home to reduce our contribution to these problems .
in this same Canadian tradition of internationalism , the Government will undertake the following initiatives :
it will promote Canadian values on the world stage by co - operating with like - minded countries to revitalize the United Nations and other key multilateral institutions .
it will work directly with other countries to enhance and promote human rights , peace building and democracy .
it will destroy the Department of National Defence 's stock of land mines , in advance of the signing of the Ottawa Treaty in December , to continue its leadership and illustrate its commitment to a global ban .
and Canada will continue to work toward an accompanying international strategy to help land mine victims recover and civilian populations reclaim their land from these mines .
it will continue to move forward with reforms to the Canadian military .
it will continue its campaign for liberalized trade .
breaking down trade barriers , both within Canada and around the world , helps ensure markets for Canadian goods and services and provides the best opportunity for greater prosperity .
celebrating the Millennium
for Canadians , the start of the new millennium represents an historic opportunity to celebrate our achievements as a nation and our hopes for the future .
it will be an unequalled opportunity to show ourselves and the world the richness of our diversity , the strength of Canadian values , and the great promise of our future in the 21st century .
the Government will help build a partnership among governments , communities and citizens to mark the new millennium .
many Canadians have creative ideas and suggestions for millennium projects .
there will also be an opportunity for parliamentarians from all parties to participate in developing ideas to mark the millennium .
moving Forward into the 21st Century
almost 100 years ago , Sir Wilfrid Laurier said , " The 20th century shall be the century of Canada and of Canadian development . "
he was right .
today , we have the opportunity for success in the 21st century that is far beyond what Laurier could have ever imagined .
to achieve this success we have more work to do - work that no one can do alone .
each and every one of us must assume personal responsibility for our community and our country .
our greatest responsibility is to build a new spirit of sharing and mutual respect for a new century .
by working together , by respecting the value of our diversity , we will secure our future and build a stronger country .
we will ensure that our future economic opportunities are sound , our children well prepared , our lives healthy , and our communities strong .
each generation has the opportunity to choose the society it wants to leave for its children .
the greatest legacy we can leave to our children in the new millennium is a vibrant living legacy that will make Canada a better place : a stronger country with a brighter future and greater opportunities for its young people .
by working together , we will build that future .
members of the House of Commons :
you will be asked to appropriate the funds required to carry out the services and expenditures authorized by Parliament .
honourable Members of the Senate / Members of the House of Commons :
may Divine Providence guide you in your deliberations .
right Hon. Jean Chrétien ( Prime Minister , Lib . ) moved :
that the speech of His Excellency the Governor General , delivered this day from the Throne to the two Houses of Parliament , be taken into consideration later today .
( Motion agreed to )
* * *
board OF INTERNAL ECONOMY
the Speaker :
i have the honour to inform the House that the following members have been appointed as members of the Board of Internal Economy for the purposes and under the provisions of the act to amend the Parliament of Canada Act , Chapter 42 , ( First Supplement ) , the Revised Statutes of Canada , 1985 , namely :
Mr. Boudria and Mr. Gagliano , members of the Queen 's Privy Council ; Mr. Kilger and Ms. Catterall , representatives of the government caucus ; Mr. Strahl and Mr. White ( Langley - Abbotsford ) , representatives of the Reform caucus ; and Mr. Bergeron , representative of the Bloc Quebecois .
* * *
standing ORDERS
hon. Don Boudria ( Glengarry - Prescott - Russell , Lib . ) :
Mr. Speaker , pursuant to notice , I move that the Standing Orders be amended as follows :
in section ( 1 ) of Standing Order 104 , by deleting the word " fourteen " and by substituting therefor the word " sixteen " ;
2 . By deleting section ( 2 ) of Standing Order 104 and by substituting the following therefor :
( 2 ) The standing committees , which shall consist of the number of Members stipulated below , and for which the lists of members are to be prepared , except as provided in section ( 1 ) of this Standing Order , shall be on :
( a ) Aboriginal Affairs and Northern Development ( sixteen Members ) ;
( b ) Agriculture and Agri - Food ( sixteen Members ) ;
( c ) Canadian Heritage ( sixteen Members ) ;
( d ) Citizenship and Immigration ( sixteen Members ) ;
( e ) Environment and Sustainable Development ( sixteen Members ) ;
( f ) Finance ( sixteen Members ) ;
( g ) Fisheries and Oceans ( sixteen Members ) ;
( h ) Foreign Affairs and International Trade ( sixteen Members ) ;
( i ) Health ( sixteen Members ) ;
( j ) Human Resources Development and the Status of Persons with Disabilities ( sixteen Members ) ;
( k ) Industry ( sixteen Members ) ;
( l ) Justice and Human Rights ( sixteen Members ) ;
( m ) National Defence and Veterans Affairs ( sixteen Members ) ;
